// SPDX-License-Identifier: MIT
#include "loader.h"

#include "elf_image.h"
#include "near_miss.h"

#include <dlfcn.h>
#include <link.h>

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

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

bool is_absolute(const std::string& folder) { return folder.starts_with('/'); }

// The folders the system's search looks in for a bare name, in its order:
// those of LD_LIBRARY_PATH, the program's RUNPATH (with $ORIGIN expanded) and
// the system's own. The system reads an empty or relative folder of
// LD_LIBRARY_PATH as the current directory or below it.
std::vector<std::string> search_folders() {
    void* program = dlopen(nullptr, RTLD_NOW);
    Dl_serinfo size{};
    if (program == nullptr || dlinfo(program, RTLD_DI_SERINFOSIZE, &size) != 0) {
        return {};
    }
    std::vector<std::max_align_t> storage(size.dls_size / sizeof(std::max_align_t) + 1);
    auto* info = reinterpret_cast<Dl_serinfo*>(storage.data());
    *info = size;
    if (dlinfo(program, RTLD_DI_SERINFO, info) != 0) {
        return {};
    }
    std::vector<std::string> folders;
    for (unsigned i = 0; i < info->dls_cnt; ++i) {
        folders.emplace_back(info->dls_serpath[i].dls_name);
    }
    return folders;
}

bool holds(const std::string& folder, const std::string& name) {
    std::error_code error;
    return std::filesystem::is_regular_file(std::filesystem::path(folder.empty() ? "." : folder) / name,
                                            error);
}

// Where a bare name is loaded from: the first absolute folder of the search
// that holds it, by its full path. Never the current directory: a library
// planted there, or in a folder below it that an empty or relative element
// of LD_LIBRARY_PATH names, is never the one that runs. The bare name itself
// when no folder the program can list holds it, so that the system's cache
// of libraries still answers, unless only such a planted one would answer.
std::optional<std::string> where_to_load(const std::string& name) {
    if (name.find('/') != std::string::npos) {
        return name;
    }
    const std::vector<std::string> folders = search_folders();
    for (const std::string& folder : folders) {
        if (is_absolute(folder) && holds(folder, name)) {
            return folder + "/" + name;
        }
    }
    for (const std::string& folder : folders) {
        if (!is_absolute(folder) && holds(folder, name)) {
            return std::nullopt;
        }
    }
    return name;
}

// The elements of LD_LIBRARY_PATH as written, empty ones included.
std::vector<std::string> library_path_elements() {
    const char* variable = std::getenv("LD_LIBRARY_PATH");
    if (variable == nullptr || *variable == '\0') {
        return {};
    }
    const std::string folders = variable;
    std::vector<std::string> elements;
    for (std::size_t start = 0;;) {
        const std::size_t end = std::min(folders.find(':', start), folders.size());
        elements.push_back(folders.substr(start, end - start));
        if (end == folders.size()) {
            return elements;
        }
        start = end + 1;
    }
}

// The absolute folders of LD_LIBRARY_PATH, the only ones searched.
std::string absolute_library_path() {
    std::string absolute;
    for (const std::string& folder : library_path_elements()) {
        if (is_absolute(folder)) {
            absolute += (absolute.empty() ? "" : ":") + folder;
        }
    }
    return absolute;
}

LoadFailure not_found(const std::string& file, SystemError system) {
    LoadFailure failure;
    failure.cause = LoadFailure::Cause::not_found;
    failure.file = file;
    failure.library_path = absolute_library_path();
    failure.program_folder = program_folder().string();
    failure.system = std::move(system);
    return failure;
}

// What the loader's sentence says went wrong, as facts.
LoadFailure load_failure(const std::string& file, const std::string& message) {
    const DlError error = split(message);
    const bool about_our_file = error.file == file || std::filesystem::path(error.file).filename() == file;
    if (error.what.starts_with("cannot open shared object file") && about_our_file) {
        return not_found(file, {0, message});
    }
    LoadFailure failure;
    failure.file = file;
    failure.system = {0, message};
    using Cause = LoadFailure::Cause;
    if (error.what.starts_with("cannot open shared object file")) {
        failure.cause = Cause::needs_library;
        failure.needed = error.file;
    } else if (error.what.starts_with("wrong ELF class")) {
        failure.cause = Cause::wrong_architecture;
        failure.found = where_to_load(error.file).value_or(error.file);
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
            // The loader's sentence first: asking where the library lies
            // clears it.
            SystemError system{0, last_dl_error()};
            const std::string where = location();
            const std::optional<ElfFacts> facts = read_elf_file(where);
            return {
                nullptr,
                {file_, entry_point, where, std::move(system),
                 facts ? near_miss(entry_point, facts->exports, facts->unexported_functions) : std::nullopt}};
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
        const std::optional<std::string> path = where_to_load(file);
        if (!path) {
            throw BindingError(not_found(file, {}));
        }
        void* handle = dlopen(path->c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) {
            throw BindingError(load_failure(file, last_dl_error()));
        }
        return std::make_unique<PosixLibrary>(handle, file);
    }
};

}  // namespace

std::unique_ptr<Loader> make_system_loader() { return std::make_unique<PosixLoader>(); }

std::optional<std::filesystem::path> file_the_search_takes(const std::string& file) {
    const std::optional<std::string> path = where_to_load(file);
    if (!path || !path->contains('/')) {
        return std::nullopt;
    }
    std::error_code error;
    const std::filesystem::path full = std::filesystem::absolute(*path, error);
    return error ? std::filesystem::path(*path) : full.lexically_normal();
}

std::vector<std::string> passed_over_search_elements() {
    std::vector<std::string> passed_over;
    for (const std::string& element : library_path_elements()) {
        if (!is_absolute(element)) {
            passed_over.push_back(element);
        }
    }
    return passed_over;
}

std::filesystem::path program_folder() {
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::path() : program.parent_path();
}

}  // namespace kavrelo::binding
