// SPDX-License-Identifier: MIT
// What the entry points say. Answers returned to the console are
// Windows-1252; reports written to standard error are UTF-8, for a terminal.
#pragma once

#include <string>
#include <string_view>

namespace zavlek {

// tokeniza2: the tokens of text, compact enough for a message box.
std::string token_list(std::string_view text);

// parser_SLR: "Cadena aceptada" or where and why the text was refused.
std::string parser_answer(std::string_view text);

// mPila: the stack's self-test, one line per check.
std::string stack_self_test_report();

// tokeniza: the tokens of a sample text of the library's own, one per line.
std::string sample_tokens_report();

}  // namespace zavlek
