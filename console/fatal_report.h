// SPDX-License-Identifier: MIT
// The wording of the report shown when an error ends the program.
#pragma once

#include <exception>
#include <string>

namespace kavrelo::console {

std::u16string fatal_report(const std::exception& error);
// For an error that carries no description.
std::u16string fatal_report();

}  // namespace kavrelo::console
