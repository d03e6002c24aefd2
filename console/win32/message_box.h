// SPDX-License-Identifier: MIT
// The program's message box: title "Kavrelo1", no icon, one button that reads
// "Aceptar" whatever the system's language, modal to the application.
#pragma once

#include <windows.h>

#include <string_view>

namespace kavrelo::console::win32 {

// Returns when the user has closed the box. A text too long for the screen
// is cut to what fits, with a note of how much is shown.
void show_message_box(HWND owner, std::u16string_view text);

}  // namespace kavrelo::console::win32
