// SPDX-License-Identifier: MIT
// The program as wWinMain runs it, kept in the front end's library so that
// the window tests run the same.
#pragma once

#include <windows.h>

namespace kavrelo::console {
class Commands;
}

namespace kavrelo::console::win32 {

// Shows Form1 and runs the event loop until the program ends; returns the
// program's exit status. A form that cannot be built as it stands is shown
// with its reason, status 2; any other error that stops the window (the
// system refusing it) is shown as the fatal report, status 1.
int run_program(HINSTANCE instance, Commands& commands, int show_command);

}  // namespace kavrelo::console::win32
