// SPDX-License-Identifier: MIT
#include "escaped_exception.h"

#include "entry_points.h"

#include <cxxabi.h>

#include <cstdlib>
#include <exception>
#include <memory>
#include <string>
#include <typeinfo>

namespace kavrelo::binding {
namespace {

struct FreeDeleter {
    void operator()(char* text) const noexcept { std::free(text); }
};

std::string type_being_handled() {
    const std::type_info* type = abi::__cxa_current_exception_type();
    if (type == nullptr) {
        return {};
    }
    int status = 0;
    const std::unique_ptr<char, FreeDeleter> readable(
        abi::__cxa_demangle(type->name(), nullptr, nullptr, &status));
    return status == 0 && readable ? std::string(readable.get()) : std::string(type->name());
}

}  // namespace

EscapedException escaped_exception(std::string_view entry_point) {
    EscapedException escaped{std::string(kZavlekFile), std::string(entry_point), type_being_handled(), {}};
    try {
        throw;
    } catch (const std::exception& error) {
        escaped.message = error.what();
    } catch (...) {
        // Not a std::exception: its type is all there is to say.
    }
    return escaped;
}

}  // namespace kavrelo::binding
