#include "support/doubles.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <stdexcept>

namespace kavrelo::testing {
namespace {

class CountingLibrary final : public binding::LoadedLibrary {
public:
    CountingLibrary(std::unique_ptr<binding::LoadedLibrary> inner, FolderLoader& loader)
        : inner_(std::move(inner)), loader_(loader) {}

    Lookup find(const std::string& entry_point) override {
        ++loader_.lookups;
        loader_.looked_up.push_back(entry_point);
        return inner_->find(entry_point);
    }

private:
    std::unique_ptr<binding::LoadedLibrary> inner_;
    FolderLoader& loader_;
};

template <typename Function>
Function control(void* handle, const char* name) {
    void* address = dlsym(handle, name);
    if (address == nullptr) {
        throw std::runtime_error(std::string("test double lacks ") + name);
    }
    return reinterpret_cast<Function>(address);
}

}  // namespace

std::string double_folder(const std::string& name) { return std::string(KAVRELO_DOUBLES_DIR) + "/" + name; }

FolderLoader::FolderLoader(const std::string& double_name) : FolderLoader(Folder{double_folder(double_name)}) {}

FolderLoader::FolderLoader(Folder folder) : folder_(std::move(folder.path)), system_(binding::make_system_loader()) {}

std::unique_ptr<binding::LoadedLibrary> FolderLoader::load(const std::string& file) {
    ++loads;
    return std::make_unique<CountingLibrary>(system_->load(folder_ + "/" + file), *this);
}

Recorder::Recorder(const std::string& double_name) {
    const std::string path = double_folder(double_name) + "/libZavlek.so";
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        throw std::runtime_error("cannot load the recording double: " + std::string(dlerror()));
    }
    control<recording_double::Reset>(handle_, recording_double::kReset)();
}

Recorder::~Recorder() {
    control<recording_double::Reset>(handle_, recording_double::kReset)();
    dlclose(handle_);
}

void Recorder::answer_with(recording_double::Result result) const {
    control<recording_double::SetResult>(handle_, recording_double::kSetResult)(result);
}

int Recorder::calls(int entry_point) const {
    return control<recording_double::Calls>(handle_, recording_double::kCalls)(entry_point);
}

std::vector<unsigned char> Recorder::received(int entry_point) const {
    std::size_t size = 0;
    const unsigned char* bytes =
        control<recording_double::Received>(handle_, recording_double::kReceived)(entry_point, &size);
    return {bytes, bytes + size};
}

}  // namespace kavrelo::testing
