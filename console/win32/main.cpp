// SPDX-License-Identifier: MIT
#include "form1_window.h"
#include "text.h"

#include <binding/loader.h>
#include <binding/zavlek_library.h>
#include <console/commands.h>
#include <console/version.h>

#include <windows.h>

#include <stdexcept>
#include <string>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show_command) {
    using namespace kavrelo;
    const auto loader = binding::make_system_loader();
    binding::ZavlekLibrary library(*loader);
    console::Commands commands(library);
    try {
        console::win32::Form1Window window(instance, commands);
        window.show(show_command);
        return window.run();
    } catch (const std::logic_error& error) {
        // A form whose buttons and commands do not match cannot start.
        const std::string reason = error.what();
        const std::u16string text(reason.begin(), reason.end());
        MessageBoxW(nullptr, console::win32::wide(text), L"" KAVRELO_NAME, MB_OK | MB_ICONERROR);
        return 2;
    }
}
