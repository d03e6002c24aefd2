#include "loader.h"

#include <dlfcn.h>
#include <link.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string_view>

namespace kavrelo::binding {
namespace {

std::string last_dl_error() {
    const char* reason = dlerror();
    return reason != nullptr ? reason : "unknown reason";
}

// The loader's sentences start with the file they are about, then ": ".
struct DlError {
    std::string file;
    std::string what;
};

DlError split(const std::string& message) {
    const std::size_t colon = message.find(": ");
    if (colon == std::string::npos) {
        return {{}, message};
    }
    return {message.substr(0, colon), message.substr(colon + 2)};
}

// The file the search would have found under a bare name, where the loader's
// sentence names only the name (as it does for a library of another class):
// the first of the folders of LD_LIBRARY_PATH and the program's own that
// holds it.
std::string located(const std::string& name) {
    if (name.find('/') != std::string::npos) {
        return name;
    }
    std::string folders = std::getenv("LD_LIBRARY_PATH") != nullptr ? std::getenv("LD_LIBRARY_PATH") : "";
    folders += ":" + program_folder().string();
    std::size_t start = 0;
    while (start <= folders.size()) {
        const std::size_t end = std::min(folders.find(':', start), folders.size());
        const std::filesystem::path candidate =
            std::filesystem::path(folders.substr(start, end - start)) / name;
        std::error_code error;
        if (end > start && std::filesystem::exists(candidate, error)) {
            return candidate.string();
        }
        start = end + 1;
    }
    return name;
}

// What the loader's sentence says went wrong, as facts.
LoadFailure load_failure(const std::string& file, const std::string& message) {
    const DlError error = split(message);
    const bool about_our_file = error.file == file || std::filesystem::path(error.file).filename() == file;
    LoadFailure failure;
    failure.file = file;
    failure.system = {0, message};
    using Cause = LoadFailure::Cause;
    if (error.what.starts_with("cannot open shared object file")) {
        if (about_our_file) {
            const char* library_path = std::getenv("LD_LIBRARY_PATH");
            failure.cause = Cause::not_found;
            failure.library_path = library_path != nullptr ? library_path : "";
            failure.program_folder = program_folder().string();
        } else {
            failure.cause = Cause::needs_library;
            failure.needed = error.file;
        }
    } else if (error.what.starts_with("wrong ELF class")) {
        failure.cause = Cause::wrong_architecture;
        failure.found = located(error.file);
        failure.library_architecture =
            error.what.find("ELFCLASS32") != std::string::npos ? Architecture::bits32 : Architecture::bits64;
        failure.program_architecture = sizeof(void*) == 4 ? Architecture::bits32 : Architecture::bits64;
    } else if (error.what.starts_with("invalid ELF header") || error.what.starts_with("file too short")) {
        failure.cause = Cause::not_a_library;
        failure.found = error.file;
    } else if (error.what.starts_with("undefined symbol: ")) {
        failure.cause = Cause::needs_symbol;
        failure.found = error.file;
        failure.needed = error.what.substr(std::string_view("undefined symbol: ").size());
    }
    return failure;
}

class PosixLibrary final : public LoadedLibrary {
public:
    PosixLibrary(void* handle, std::string file) : handle_(handle), file_(std::move(file)) {}

    Lookup find(const std::string& entry_point) override {
        dlerror();
        void* address = dlsym(handle_, entry_point.c_str());
        if (address == nullptr) {
            return {nullptr, {file_, entry_point, location(), {0, last_dl_error()}}};
        }
        return {address, {}};
    }

    std::string location() const override {
        link_map* map = nullptr;
        if (dlinfo(handle_, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr) {
            return "?";
        }
        std::error_code error;
        const std::filesystem::path full = std::filesystem::absolute(map->l_name, error);
        return error ? std::string(map->l_name) : full.lexically_normal().string();
    }

private:
    void* handle_;  // never closed: bound addresses live as long as the process
    std::string file_;
};

class PosixLoader final : public Loader {
public:
    std::unique_ptr<LoadedLibrary> load(const std::string& file) override {
        // RTLD_NOW: a library with unresolved symbols fails here, where it can
        // be reported, rather than at some later call.
        void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) {
            throw BindingError(load_failure(file, last_dl_error()));
        }
        return std::make_unique<PosixLibrary>(handle, file);
    }
};

}  // namespace

std::unique_ptr<Loader> make_system_loader() { return std::make_unique<PosixLoader>(); }

std::filesystem::path program_folder() {
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::path() : program.parent_path();
}

}  // namespace kavrelo::binding
