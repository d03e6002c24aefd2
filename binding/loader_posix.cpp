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

// Where the ordinary search looked for a bare name, in its order.
std::string search_places() {
    std::string places;
    const char* library_path = std::getenv("LD_LIBRARY_PATH");
    if (library_path != nullptr && *library_path != '\0') {
        places += "las carpetas de LD_LIBRARY_PATH (" + std::string(library_path) + "), ";
    }
    places += "la carpeta del programa (" + program_folder().string() +
              ") y las carpetas de bibliotecas del sistema";
    return places;
}

// Says in plain words what went wrong, then the loader's own sentence.
std::string load_failure(const std::string& file, const std::string& message) {
    const DlError error = split(message);
    const bool about_our_file = error.file == file || std::filesystem::path(error.file).filename() == file;
    std::string plain;
    if (error.what.starts_with("cannot open shared object file")) {
        plain = about_our_file
                    ? "no se encontr\xC3\xB3. Se busc\xC3\xB3 en " + search_places() +
                          ". Para ofrecer una, p\xC3\xB3ngala junto al programa o en una carpeta de "
                          "LD_LIBRARY_PATH"
                    : "necesita la biblioteca " + error.file + ", que no se encontr\xC3\xB3";
    } else if (error.what.starts_with("wrong ELF class")) {
        plain = "el archivo " + located(error.file) + " es una biblioteca de " +
                (error.what.find("ELFCLASS32") != std::string::npos ? "32" : "64") +
                " bits y este programa es de " + std::to_string(8 * sizeof(void*)) + " bits";
    } else if (error.what.starts_with("invalid ELF header") || error.what.starts_with("file too short")) {
        plain = "el archivo " + error.file + " no es una biblioteca compartida";
    } else if (error.what.starts_with("undefined symbol: ")) {
        plain = "el archivo " + error.file + " necesita el s\xC3\xADmbolo " +
                error.what.substr(std::string_view("undefined symbol: ").size()) +
                ", que ninguna biblioteca cargada ofrece";
    }
    return plain.empty() ? message : plain + ".\nDetalle del sistema: " + message;
}

class PosixLibrary final : public LoadedLibrary {
public:
    explicit PosixLibrary(void* handle) : handle_(handle) {}

    Lookup find(const std::string& entry_point) override {
        dlerror();
        void* address = dlsym(handle_, entry_point.c_str());
        if (address == nullptr) {
            return {nullptr,
                    "el archivo " + location() + " no la exporta.\nDetalle del sistema: " + last_dl_error()};
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
};

class PosixLoader final : public Loader {
public:
    std::unique_ptr<LoadedLibrary> load(const std::string& file) override {
        // RTLD_NOW: a library with unresolved symbols fails here, where it can
        // be reported, rather than at some later call.
        void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) {
            throw BindingError(BindingError::Kind::library_not_loaded, file, {},
                               load_failure(file, last_dl_error()));
        }
        return std::make_unique<PosixLibrary>(handle);
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
