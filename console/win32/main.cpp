// SPDX-License-Identifier: MIT
#include "program.h"

#include <binding/loader.h>
#include <binding/zavlek_library.h>
#include <console/commands.h>

#include <windows.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show_command) {
    using namespace kavrelo;
    const auto loader = binding::make_system_loader();
    binding::ZavlekLibrary library(*loader);
    console::Commands commands(library);
    return console::win32::run_program(instance, commands, show_command);
}
