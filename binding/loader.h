// The operating system's dynamic loading, behind one small interface so that
// the binding can be tested with a loader that counts or redirects.
#pragma once

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

namespace kavrelo::binding {

// Raised when the library file cannot be loaded, lacks an entry point, or
// answers with something that is not a library string. The message is the
// sentence the user is told, ending with the reason.
class BindingError : public std::runtime_error {
public:
    enum class Kind { library_not_loaded, entry_point_missing, malformed_result };

    BindingError(Kind kind, std::string file, std::string entry_point, std::string reason);

    Kind kind() const noexcept { return kind_; }
    const std::string& file() const noexcept { return file_; }
    // Empty when the library itself could not be loaded; the entry point that
    // answered, for a malformed result.
    const std::string& entry_point() const noexcept { return entry_point_; }
    const std::string& reason() const noexcept { return reason_; }

private:
    Kind kind_;
    std::string file_;
    std::string entry_point_;
    std::string reason_;
};

// A loaded library. It stays loaded for the life of the process, as the
// program never unloads what it has bound.
class LoadedLibrary {
public:
    virtual ~LoadedLibrary() = default;
    // The address of the entry point, or an empty address and the system's
    // reason when the library has no such name.
    struct Lookup {
        void* address = nullptr;
        std::string reason;
    };
    virtual Lookup find(const std::string& entry_point) = 0;
    // The file the system loaded, as a full path when it can say.
    virtual std::string location() const = 0;
};

class Loader {
public:
    virtual ~Loader() = default;
    // Loads a library by bare file name through the platform's ordinary
    // search; throws BindingError when it cannot.
    virtual std::unique_ptr<LoadedLibrary> load(const std::string& file) = 0;
};

// The platform's loader: dlopen/dlsym or LoadLibraryW/GetProcAddress.
std::unique_ptr<Loader> make_system_loader();

// The folder of the running program, one of the places the ordinary search
// looks in; empty when the system cannot say.
std::filesystem::path program_folder();

}  // namespace kavrelo::binding
