// SPDX-License-Identifier: MIT
// Where mPila and tokeniza write their reports: standard error where the
// process has one (a console program, a terminal, a redirection), otherwise
// the debugger's output. Never a box of the library's own, so that scripts and
// checks can call them unattended.
#pragma once

#include <string_view>

namespace zavlek {

// The text is UTF-8.
void write_report_text(std::string_view text) noexcept;

}  // namespace zavlek
