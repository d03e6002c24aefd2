// SPDX-License-Identifier: MIT
#include "loader.h"

#include "module_path.h"
#include "near_miss.h"
#include "pe_image.h"

#include <text/utf8.h>

#include <windows.h>

#include <algorithm>
#include <cwctype>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <string_view>
#include <vector>

namespace kavrelo::binding {
namespace {

struct LocalFreeDeleter {
    void operator()(wchar_t* buffer) const noexcept { LocalFree(buffer); }
};

// The system's own code, and its sentence for it in the user's language.
SystemError system_error(DWORD code) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    const std::unique_ptr<wchar_t, LocalFreeDeleter> owned(buffer);
    return {code, length != 0 ? text::utf8_from_wide({buffer, length}) : std::string()};
}

// Lets the loader fail quietly: without it, Windows may show its own box for
// a library it cannot load, before the program's report.
class QuietLoaderErrors {
public:
    QuietLoaderErrors() { SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previous_); }
    ~QuietLoaderErrors() { SetThreadErrorMode(previous_, nullptr); }
    QuietLoaderErrors(const QuietLoaderErrors&) = delete;
    QuietLoaderErrors& operator=(const QuietLoaderErrors&) = delete;

private:
    DWORD previous_ = 0;
};

// The machine an image in memory was built for: the program's own, whose
// headers the system has checked already.
std::optional<WORD> machine_of(const void* image) {
    const auto* base = static_cast<const unsigned char*>(image);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    if (dos->e_magic != IMAGE_DOS_SIGNATURE) {
        return std::nullopt;
    }
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    if (nt->Signature != IMAGE_NT_SIGNATURE) {
        return std::nullopt;
    }
    return nt->FileHeader.Machine;
}

// Whether the search finds a file under that name, mapped as plain data: any
// file the loader would have tried, whatever its architecture, without
// running it. (What the file holds is read by the PE reader, which trusts
// nothing in it.)
struct FoundFile {
    bool exists = false;
};

// Where a library, and each library it needs, is looked for: the program's
// folder and the system's, and for a library named by its full path, its own
// folder too; never the current directory, nor the folders of PATH, where
// anyone may have put a Zavlek.dll.
constexpr DWORD kSearch = LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32;

DWORD search_for(const std::wstring& file) {
    return std::filesystem::path(file).is_absolute() ? kSearch | LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR : kSearch;
}

std::filesystem::path system_folder() {
    std::wstring folder(MAX_PATH, L'\0');
    folder.resize(GetSystemDirectoryW(folder.data(), static_cast<UINT>(folder.size())));
    return folder;
}

// The file the loader's search finds under that name, looked for in the same
// folders: not every system searches them for a data file.
std::optional<std::filesystem::path> located(const std::wstring& file) {
    const std::filesystem::path name(file);
    std::error_code error;
    if (name.is_absolute()) {
        return std::filesystem::exists(name, error) ? std::optional(name) : std::nullopt;
    }
    for (const std::filesystem::path& folder : {program_folder(), system_folder()}) {
        if (std::filesystem::exists(folder / name, error)) {
            return folder / name;
        }
    }
    return std::nullopt;
}

FoundFile find_as_data(const std::wstring& file) {
    const std::optional<std::filesystem::path> path = located(file);
    if (!path) {
        return {};
    }
    HMODULE data = LoadLibraryExW(path->c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (data == nullptr) {
        return {GetLastError() == ERROR_BAD_EXE_FORMAT};
    }
    FreeLibrary(data);
    return {true};
}

Architecture architecture_of(std::optional<WORD> machine) {
    switch (machine.value_or(0)) {
        case IMAGE_FILE_MACHINE_I386:
            return Architecture::x86;
        case IMAGE_FILE_MACHINE_AMD64:
            return Architecture::x64;
        case IMAGE_FILE_MACHINE_ARM64:
            return Architecture::arm64;
        default:
            return Architecture::unknown;
    }
}

// --- which library is missing, read from the import tables -------------

// How deep the chain of imports is followed: deeper than any author's own
// libraries go.
constexpr int kChainDepth = 6;

std::wstring lowered(std::wstring text) {
    std::transform(text.begin(), text.end(), text.begin(), [](wchar_t c) { return std::towlower(c); });
    return text;
}

// API sets (api-ms-win-*, ext-ms-*) are names the system resolves itself,
// never files: they are never missing.
bool api_set(const std::wstring& name) {
    const std::wstring lower = lowered(name);
    return lower.starts_with(L"api-ms-") || lower.starts_with(L"ext-ms-");
}

struct Resolved {
    bool found = false;
    // The file, where following its own imports is the author's business
    // (not a system library, nor one loaded already).
    std::optional<std::filesystem::path> follow;
};

// Finds an imported library as the loader would: loaded already under that
// name, in the folder of the library asked for by its path, beside the
// program, in the system's folder.
Resolved resolve_import(const std::wstring& name, const std::optional<std::filesystem::path>& load_folder) {
    if (GetModuleHandleW(name.c_str()) != nullptr) {
        return {true, std::nullopt};
    }
    std::error_code error;
    std::vector<std::filesystem::path> folders;
    if (load_folder) folders.push_back(*load_folder);
    folders.push_back(program_folder());
    for (const std::filesystem::path& folder : folders) {
        if (!folder.empty() && std::filesystem::is_regular_file(folder / name, error)) {
            return {true, folder / name};
        }
    }
    if (std::filesystem::is_regular_file(system_folder() / name, error)) {
        return {true, std::nullopt};
    }
    return {};
}

// The chain from this library down to the first import that cannot be
// found, each library visited once; empty when every import is found.
std::vector<std::string> missing_chain(const std::filesystem::path& library,
                                       const std::optional<std::filesystem::path>& load_folder,
                                       std::set<std::wstring>& visited, int depth) {
    if (depth >= kChainDepth || !visited.insert(lowered(library.filename().wstring())).second) {
        return {};
    }
    const std::optional<PeFacts> facts = read_pe_file(library);
    if (!facts) {
        return {};
    }
    std::vector<std::filesystem::path> found_ones;
    for (const std::string& import : facts->imports) {
        const std::wstring name = text::wide_from_utf8(import);
        if (api_set(name)) continue;
        const Resolved resolved = resolve_import(name, load_folder);
        if (!resolved.found) {
            return {text::utf8_from_wide(library.filename().wstring()), import};
        }
        if (resolved.follow) found_ones.push_back(*resolved.follow);
    }
    // A missing import of a direct import comes after all of this library's
    // own imports are found.
    for (const std::filesystem::path& found : found_ones) {
        std::vector<std::string> deeper = missing_chain(found, load_folder, visited, depth + 1);
        if (!deeper.empty()) {
            deeper.insert(deeper.begin(), text::utf8_from_wide(library.filename().wstring()));
            return deeper;
        }
    }
    return {};
}

std::vector<std::string> missing_chain(const std::wstring& file) {
    const std::optional<std::filesystem::path> path = located(file);
    if (!path) {
        return {};
    }
    std::optional<std::filesystem::path> load_folder;
    if (std::filesystem::path(file).is_absolute()) {
        load_folder = path->parent_path();
    }
    std::set<std::wstring> visited;
    std::vector<std::string> chain = missing_chain(*path, load_folder, visited, 0);
    if (!chain.empty()) {
        // The library as the user knows it: by its bare name.
        chain.front() = text::utf8_from_wide(std::filesystem::path(file).filename().wstring());
    }
    return chain;
}

// What the system's code means for this file, as facts.
LoadFailure load_failure(DWORD code, const std::string& file, const std::wstring& wide_file) {
    LoadFailure failure;
    failure.file = file;
    failure.system = system_error(code);
    using Cause = LoadFailure::Cause;
    switch (code) {
        case ERROR_MOD_NOT_FOUND:
            if (find_as_data(wide_file).exists) {
                failure.cause = Cause::needs_library;
                failure.chain = missing_chain(wide_file);
                if (!failure.chain.empty()) failure.needed = failure.chain.back();
            } else {
                failure.cause = Cause::not_found;
            }
            break;
        case ERROR_BAD_EXE_FORMAT: {
            // Read from the file as a hostile one: a file cut short has the
            // headers of a library of the right architecture.
            const std::optional<std::filesystem::path> path = located(wide_file);
            const std::optional<PeFacts> facts = path ? read_pe_file(*path) : std::nullopt;
            const Architecture ours = architecture_of(machine_of(GetModuleHandleW(nullptr)));
            if (facts && facts->truncated) {
                failure.cause = Cause::truncated;
            } else if (facts && architecture_of(facts->machine) != ours) {
                failure.cause = Cause::wrong_architecture;
                failure.library_architecture = architecture_of(facts->machine);
                failure.program_architecture = ours;
            } else {
                failure.cause = Cause::not_a_library;
            }
            break;
        }
        case ERROR_PROC_NOT_FOUND:
            failure.cause = Cause::needs_symbol;
            break;
        case ERROR_DLL_INIT_FAILED:
            failure.cause = Cause::initialisation_failed;
            break;
        default:
            break;
    }
    return failure;
}

class Win32Library final : public LoadedLibrary {
public:
    Win32Library(HMODULE module, std::string file) : module_(module), file_(std::move(file)) {}

    Lookup find(const std::string& entry_point) override {
        const FARPROC address = GetProcAddress(module_, entry_point.c_str());
        if (address == nullptr) {
            const SystemError system = system_error(GetLastError());
            std::optional<NearMiss> similar;
            if (const std::optional<PeFacts> facts = read_pe_file(module_path(module_))) {
                similar = near_miss(entry_point, facts->exports);
            }
            return {nullptr, {file_, entry_point, {}, system, std::move(similar)}};
        }
        return {reinterpret_cast<void*>(address), {}};
    }

    std::string location() const override {
        const std::wstring path = module_path(module_);
        return path.empty() ? file_ : text::utf8_from_wide(path);
    }

private:
    HMODULE module_;  // never freed: bound addresses live as long as the process
    std::string file_;
};

class Win32Loader final : public Loader {
public:
    // The same search for every library the process loads from now on, so
    // that what the system loads on the library's behalf is found as it is.
    Win32Loader() { SetDefaultDllDirectories(kSearch); }

    std::unique_ptr<LoadedLibrary> load(const std::string& file) override {
        const std::wstring wide_file = text::wide_from_utf8(file);
        HMODULE module = nullptr;
        DWORD code = ERROR_SUCCESS;
        {
            const QuietLoaderErrors quiet;
            module = LoadLibraryExW(wide_file.c_str(), nullptr, search_for(wide_file));
            code = GetLastError();
        }
        if (module == nullptr) {
            throw BindingError(load_failure(code, file, wide_file));
        }
        return std::make_unique<Win32Library>(module, file);
    }
};

}  // namespace

std::unique_ptr<Loader> make_system_loader() { return std::make_unique<Win32Loader>(); }

std::optional<std::filesystem::path> file_the_search_takes(const std::string& file) {
    return located(text::wide_from_utf8(file));
}

std::vector<std::string> passed_over_search_elements() { return {}; }

std::filesystem::path program_folder() {
    const std::wstring path = module_path(nullptr);
    return path.empty() ? std::filesystem::path() : std::filesystem::path(path).parent_path();
}

}  // namespace kavrelo::binding
