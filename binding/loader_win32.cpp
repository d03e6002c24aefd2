#include "loader.h"

#include <text/utf8.h>

#include <windows.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string_view>

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

// The machine an image in memory was built for.
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

// What the search finds under that name, mapped as plain data: any file the
// loader would have tried, whatever its architecture, without running it.
struct FoundFile {
    bool exists = false;
    std::optional<WORD> machine;
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
        return {GetLastError() == ERROR_BAD_EXE_FORMAT, std::nullopt};
    }
    // A data mapping's handle has its low bits set; the image starts below.
    const auto base = reinterpret_cast<ULONG_PTR>(data) & ~static_cast<ULONG_PTR>(3);
    FoundFile found{true, machine_of(reinterpret_cast<const void*>(base))};
    FreeLibrary(data);
    return found;
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

// What the system's code means for this file, as facts.
LoadFailure load_failure(DWORD code, const std::string& file, const std::wstring& wide_file) {
    LoadFailure failure;
    failure.file = file;
    failure.system = system_error(code);
    using Cause = LoadFailure::Cause;
    switch (code) {
        case ERROR_MOD_NOT_FOUND:
            failure.cause = find_as_data(wide_file).exists ? Cause::needs_library : Cause::not_found;
            break;
        case ERROR_BAD_EXE_FORMAT: {
            const FoundFile found = find_as_data(wide_file);
            if (found.machine.has_value()) {
                failure.cause = Cause::wrong_architecture;
                failure.library_architecture = architecture_of(found.machine);
                failure.program_architecture = architecture_of(machine_of(GetModuleHandleW(nullptr)));
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

// The full path of a loaded module (of the program for nullptr); empty when
// the system cannot say.
std::wstring module_path(HMODULE module) {
    std::wstring path(MAX_PATH, L'\0');
    DWORD length = 0;
    while ((length = GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()))) ==
           path.size()) {
        path.resize(path.size() * 2);
    }
    path.resize(length);
    return path;
}

class Win32Library final : public LoadedLibrary {
public:
    Win32Library(HMODULE module, std::string file) : module_(module), file_(std::move(file)) {}

    Lookup find(const std::string& entry_point) override {
        const FARPROC address = GetProcAddress(module_, entry_point.c_str());
        if (address == nullptr) {
            return {nullptr, {file_, entry_point, {}, system_error(GetLastError())}};
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

std::filesystem::path program_folder() {
    const std::wstring path = module_path(nullptr);
    return path.empty() ? std::filesystem::path() : std::filesystem::path(path).parent_path();
}

}  // namespace kavrelo::binding
