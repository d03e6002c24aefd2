// SPDX-License-Identifier: MIT
#include "near_miss.h"

#include <cxxabi.h>

#include <cstdlib>
#include <memory>

namespace kavrelo::binding {
namespace {

bool all_digits(std::string_view text) {
    if (text.empty()) return false;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

// name@N, where name is the entry point's, for N a byte count.
bool decorated_as(std::string_view exported, std::string_view entry_point) {
    return exported.size() > entry_point.size() + 1 && exported.starts_with(entry_point) &&
           exported[entry_point.size()] == '@' && all_digits(exported.substr(entry_point.size() + 1));
}

// The export without the @N that 32-bit __stdcall adds to a C++ name too.
std::string without_byte_count(const std::string& name) {
    const std::size_t at = name.rfind('@');
    if (at != std::string::npos && at > 0 && all_digits(std::string_view(name).substr(at + 1))) {
        return name.substr(0, at);
    }
    return name;
}

struct FreeDeleter {
    void operator()(char* text) const noexcept { std::free(text); }
};

// Whether a demangled function's own name, before its parameters and after
// any enclosing scopes, is the entry point's.
bool names_function(std::string_view readable, std::string_view entry_point) {
    const std::size_t parameters = readable.find('(');
    if (parameters == std::string_view::npos) return false;
    const std::string_view qualified = readable.substr(0, parameters);
    if (!qualified.ends_with(entry_point)) return false;
    const std::size_t start = qualified.size() - entry_point.size();
    return start == 0 || qualified[start - 1] == ':' || qualified[start - 1] == ' ';
}

// MSVC: ?name@scope@@... ; the function's own name is the first part.
bool msvc_names_function(std::string_view exported, std::string_view entry_point) {
    return exported.size() > entry_point.size() + 1 && exported[0] == '?' &&
           exported.substr(1, entry_point.size()) == entry_point && exported[entry_point.size() + 1] == '@';
}

}  // namespace

std::string demangled(const std::string& name) {
    const std::string bare = without_byte_count(name);
    // Some targets add an underscore in front of every C name: __Z...
    const std::string mangled = bare.starts_with("__Z") ? bare.substr(1) : bare;
    if (!mangled.starts_with("_Z")) return {};
    int status = 0;
    const std::unique_ptr<char, FreeDeleter> readable(
        abi::__cxa_demangle(mangled.c_str(), nullptr, nullptr, &status));
    return status == 0 && readable ? std::string(readable.get()) : std::string();
}

std::optional<NearMiss> near_miss(std::string_view entry_point, const std::vector<std::string>& exports,
                                  const std::vector<std::string>& unexported_functions) {
    for (const std::string& defined : unexported_functions) {
        if (defined == entry_point) return NearMiss{NearMiss::Kind::not_exported, defined, {}};
    }
    for (const std::string& exported : exports) {
        const std::string_view name(exported);
        if (name.starts_with('_') && decorated_as(name.substr(1), entry_point)) {
            return NearMiss{NearMiss::Kind::stdcall_decorated, exported, {}};
        }
        if (decorated_as(name, entry_point)) {
            return NearMiss{NearMiss::Kind::stdcall_decorated, exported, {}};
        }
        if (name.starts_with('@') && decorated_as(name.substr(1), entry_point)) {
            return NearMiss{NearMiss::Kind::fastcall_decorated, exported, {}};
        }
    }
    for (const std::string& exported : exports) {
        // Only a name that holds the entry point's can be it, mangled; no
        // other export of a hostile file reaches the demangler.
        if (exported.find(entry_point) == std::string::npos) continue;
        if (msvc_names_function(exported, entry_point)) {
            return NearMiss{NearMiss::Kind::cpp_mangled, exported, {}};
        }
        const std::string readable = demangled(exported);
        if (!readable.empty() && names_function(readable, entry_point)) {
            return NearMiss{NearMiss::Kind::cpp_mangled, exported, readable};
        }
    }
    return std::nullopt;
}

}  // namespace kavrelo::binding
