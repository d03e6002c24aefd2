// SPDX-License-Identifier: MIT
// The operating system's dynamic loading, behind one small interface so that
// the binding can be tested with a loader that counts or redirects.
#pragma once

#include "binding_error.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kavrelo::binding {

// A loaded library. It stays loaded for the life of the process, as the
// program never unloads what it has bound.
class LoadedLibrary {
public:
    virtual ~LoadedLibrary() = default;
    // The address of the entry point, or an empty address and what the
    // system said when the library has no such name.
    struct Lookup {
        void* address = nullptr;
        MissingEntryPoint missing;
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

// The file a load of that name takes, by its full path, found as load finds
// it, without loading it; nothing when no folder of the search holds it
// (the system may still find it where it alone looks).
std::optional<std::filesystem::path> file_the_search_takes(const std::string& file);

// The elements of the search that the system would take from the current
// directory (an empty or relative folder of LD_LIBRARY_PATH) and that this
// search passes over, as written; none on Windows, whose search has none.
std::vector<std::string> passed_over_search_elements();

// The folder of the running program, one of the places the ordinary search
// looks in; empty when the system cannot say.
std::filesystem::path program_folder();

}  // namespace kavrelo::binding
