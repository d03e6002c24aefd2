// SPDX-License-Identifier: MIT
// A crash inside a library call reported before the program ends, instead
// of the window vanishing. One file per system behind this header:
// crash_guard_posix.cpp, crash_guard_win32.cpp.
#pragma once

#include <optional>
#include <string>

namespace kavrelo::console {

// From here on, a crash on this thread while a LibraryCallWatch is alive
// (a fatal signal, an exception nothing handles, abort) starts the program
// afresh to report it (with crash_report_from_environment) in place of this
// process; any other crash ends the program as it would have.
void guard_library_calls();

// The facts a fresh copy was started with, as UTF-8 (the value of
// kCrashVariable); nothing when it was started as usual.
std::optional<std::string> crash_facts_passed();

}  // namespace kavrelo::console
