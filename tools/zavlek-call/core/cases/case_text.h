// SPDX-License-Identifier: MIT
// The texts of a case file as written and as meant: \n, \t, \\ and \xHH (a
// byte of the library's 8-bit code page) stand for what they name, so that
// line breaks, controls and any byte can be written on one line.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <variant>

namespace kavrelo::zavlek_call {

// A backslash followed by something no escape starts with, at this column
// (counted in characters from 1 on the written text).
struct UnknownEscape {
    std::size_t column = 0;
    std::string written;  // the backslash and what follows it, as written
};

// The written text (UTF-8) with its escapes replaced.
std::variant<std::u16string, UnknownEscape> meant_text(std::string_view written);

// The text written back in the same notation: backslashes doubled, controls
// escaped, everything else as UTF-8; meant_text gives back the text.
std::string written_text(std::u16string_view text);

}  // namespace kavrelo::zavlek_call
