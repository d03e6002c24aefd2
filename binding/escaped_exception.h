// SPDX-License-Identifier: MIT
// A C++ exception that a library let out of an entry point, as facts.
#pragma once

#include "binding_error.h"

#include <string_view>

namespace kavrelo::binding {

// The exception being handled, from inside a catch block: its type, as
// readable as the runtime can make it, and what() where it has one.
EscapedException escaped_exception(std::string_view entry_point);

}  // namespace kavrelo::binding
