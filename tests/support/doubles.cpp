// SPDX-License-Identifier: MIT
#include "support/doubles.h"

#include <binding/zavlek_library.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>

#if defined(_WIN32)
#  include <windows.h>
#else
#  include <dlfcn.h>
#endif

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

    std::string location() const override { return inner_->location(); }

private:
    std::unique_ptr<binding::LoadedLibrary> inner_;
    FolderLoader& loader_;
};

// The recorder opens the very copy of the library that the binding loaded:
// the system hands out one copy per file.
#if defined(_WIN32)
void* open_library(const std::filesystem::path& path) { return LoadLibraryW(path.c_str()); }
void* find_symbol(void* handle, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), name));
}
void close_library(void* handle) { FreeLibrary(static_cast<HMODULE>(handle)); }
std::string open_error() { return "error " + std::to_string(GetLastError()); }

#else
void* open_library(const std::filesystem::path& path) { return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL); }
void* find_symbol(void* handle, const char* name) { return dlsym(handle, name); }
void close_library(void* handle) { dlclose(handle); }
std::string open_error() { return dlerror(); }
#endif

template <typename Function>
Function control(void* handle, const char* name) {
    void* address = find_symbol(handle, name);
    if (address == nullptr) {
        throw std::runtime_error(std::string("test double lacks ") + name);
    }
    return reinterpret_cast<Function>(address);
}

}  // namespace

std::string test_folder(const std::string& relative) {
    return (binding::program_folder() / relative).lexically_normal().make_preferred().string();
}

// The doubles are built into a folder beside the test programs.
std::string double_folder(const std::string& name) { return test_folder("doubles/" + name); }

FolderLoader::FolderLoader(const std::string& double_name)
    : FolderLoader(Folder{double_folder(double_name)}) {}

FolderLoader::FolderLoader(Folder folder)
    : folder_(std::move(folder.path)), system_(binding::make_system_loader()) {}

std::unique_ptr<binding::LoadedLibrary> FolderLoader::load(const std::string& file) {
    ++loads;
    const std::filesystem::path path = std::filesystem::path(folder_) / file;
    return std::make_unique<CountingLibrary>(system_->load(path.string()), *this);
}

Recorder::Recorder(const std::string& double_name) {
    const std::filesystem::path path =
        std::filesystem::path(double_folder(double_name)) / binding::kZavlekFile;
    handle_ = open_library(path);
    if (handle_ == nullptr) {
        throw std::runtime_error("cannot load the recording double: " + open_error());
    }
    control<recording_double::Reset>(handle_, recording_double::kReset)();
}

Recorder::~Recorder() {
    control<recording_double::Reset>(handle_, recording_double::kReset)();
    close_library(handle_);
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
