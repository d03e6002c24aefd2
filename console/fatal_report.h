// SPDX-License-Identifier: MIT
// The wording of the report shown when an error ends the program.
#pragma once

#include <exception>
#include <string>
#include <string_view>

namespace kavrelo::console {

std::u16string fatal_report(const std::exception& error);
// For an error that carries no description.
std::u16string fatal_report();
// For a library that crashed the process during a call: the sentence that
// says so, and the start of the text it was given (none for an entry point
// that takes none).
std::u16string library_crash_report(std::u16string_view sentence, std::u16string_view text);

}  // namespace kavrelo::console
