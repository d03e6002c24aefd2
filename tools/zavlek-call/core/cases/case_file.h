// SPDX-License-Identifier: MIT
// A case file: the cases of a library's own tests, one or two lines each.
//
//   parser_SLR (1+2)*x           an entry point that takes text, one space, the text
//   = Cadena aceptada            the answer, exactly
//
//   parser_SLR 2*(
//   ~ ^Error de sintaxis         an ECMAScript pattern found somewhere in the answer
//
//   mPila                        returns, and nothing more is asked of it
//
// UTF-8; blank lines and lines starting with # are passed over; the text and
// the answer may hold the escapes of case_text.h.
#pragma once

#include <binding/entry_points.h>

#include <cstddef>
#include <regex>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace kavrelo::zavlek_call {

struct Expectation {
    enum class Kind { returns, equals, matches };
    Kind kind = Kind::returns;
    std::u16string answer;  // for equals
    std::string written;    // the pattern or answer as the file writes it
};

struct TestCase {
    std::string file;  // as named on the command line
    std::size_t line = 0;
    binding::EntryPoint entry_point{};
    std::string written;  // the first line as the file writes it
    std::u16string text;  // what is sent, for an entry point that takes text
    Expectation expectation;
};

// The cases of a file in order, or, for a file that is not one, every line
// at fault as "FILE:LINE: what was expected".
struct ReadCases {
    std::vector<TestCase> cases;
    std::vector<std::string> faults;
};
ReadCases read_case_file(const std::string& file, std::string_view bytes);

// The lines of a file in UTF-8, without its byte order mark and line breaks
// (\n or \r\n).
std::vector<std::string_view> lines_of(std::string_view bytes);

// The case whose first line this is, with everything but its expectation
// (and its file and line), or what is wrong with the line, as
// read_case_file says it after "FILE:LINE: ".
std::variant<TestCase, std::string> case_of_line(std::string_view line);

// The text as std::wregex sees it: UTF-16 or UTF-32, as wchar_t is wide.
std::wstring wide_text(std::u16string_view text);

// A pattern as a case file writes it, made ready to be searched; throws
// std::regex_error for one that is no ECMAScript regular expression.
std::wregex compiled_pattern(std::string_view written);

}  // namespace kavrelo::zavlek_call
