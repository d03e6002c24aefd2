// SPDX-License-Identifier: MIT
// The commonest naming mistake of a library's author: the entry point is
// exported, but decorated by its calling convention or mangled as a C++ name,
// so the exact name the binding looks for is not there.
#pragma once

#include "binding_error.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kavrelo::binding {

// The first export that is the entry point's name decorated (_name@N,
// name@N, @name@N) or mangled by a C++ compiler (GCC's _Z..., MSVC's
// ?name@@...), the decorated ones first; before them, the entry point among
// the functions the file defines without exporting; nothing when there is
// none.
std::optional<NearMiss> near_miss(std::string_view entry_point, const std::vector<std::string>& exports,
                                  const std::vector<std::string>& unexported_functions = {});

// A GCC-style mangled name in readable form (parser_SLR(char*)); empty when
// it is not one or cannot be demangled.
std::string demangled(const std::string& name);

}  // namespace kavrelo::binding
