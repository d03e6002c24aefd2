#include "loader.h"

#include <dlfcn.h>

namespace kavrelo::binding {
namespace {

std::string last_dl_error() {
    const char* reason = dlerror();
    return reason != nullptr ? reason : "unknown reason";
}

class PosixLibrary final : public LoadedLibrary {
public:
    explicit PosixLibrary(void* handle) : handle_(handle) {}

    Lookup find(const std::string& entry_point) override {
        dlerror();
        void* address = dlsym(handle_, entry_point.c_str());
        if (address == nullptr) {
            return {nullptr, last_dl_error()};
        }
        return {address, {}};
    }

private:
    void* handle_;  // never closed: bound addresses live as long as the process
};

class PosixLoader final : public Loader {
public:
    std::unique_ptr<LoadedLibrary> load(const std::string& file) override {
        // RTLD_NOW: a library with unresolved symbols fails here, where it can
        // be reported, rather than at some later call.
        void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) {
            // The loader starts its reason with the name it was given; the
            // report names the file already.
            std::string reason = last_dl_error();
            if (const std::string prefix = file + ": "; reason.starts_with(prefix)) {
                reason.erase(0, prefix.size());
            }
            throw BindingError(BindingError::Kind::library_not_loaded, file, {}, std::move(reason));
        }
        return std::make_unique<PosixLibrary>(handle);
    }
};

}  // namespace

std::unique_ptr<Loader> make_system_loader() { return std::make_unique<PosixLoader>(); }

}  // namespace kavrelo::binding
