// SPDX-License-Identifier: MIT
#include "message_box.h"
#include "program.h"

#include <binding/loader.h>
#include <binding/zavlek_library.h>
#include <console/commands.h>
#include <console/crash_guard.h>
#include <console/library_crash.h>
#include <console/window_operations.h>

#include <windows.h>

#include <optional>
#include <string>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show_command) {
    using namespace kavrelo;
    // A fresh copy started to report a crash in the library: the report, and
    // nothing else; the library is not loaded again.
    if (const std::optional<std::u16string> report = console::crash_report_from_environment()) {
        console::win32::show_message_box(nullptr, *report);
        return static_cast<int>(console::ExitStatus::failure);
    }
    console::guard_library_calls();
    const auto loader = binding::make_system_loader();
    binding::ZavlekLibrary library(*loader);
    console::Commands commands(library);
    return console::win32::run_program(instance, commands, show_command);
}
