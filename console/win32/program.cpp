// SPDX-License-Identifier: MIT
#include "program.h"

#include "form1_window.h"
#include "message_box.h"
#include "text.h"

#include <console/fatal_report.h>
#include <console/version.h>
#include <text/utf8.h>

#include <stdexcept>
#include <string>

namespace kavrelo::console::win32 {

int run_program(HINSTANCE instance, Commands& commands, int show_command) {
    try {
        Form1Window window(instance, commands);
        window.show(show_command);
        return window.run();
    } catch (const std::logic_error& error) {
        // A form whose buttons and commands do not match cannot start.
        const std::u16string text = text::from_utf8(error.what());
        MessageBoxW(nullptr, wide(text), L"" KAVRELO_NAME, MB_OK | MB_ICONERROR);
        return 2;
    } catch (const std::exception& error) {
        // The system could not make the window: reported as any error that
        // ends the program is.
        show_message_box(nullptr, fatal_report(error));
    } catch (...) {
        show_message_box(nullptr, fatal_report());
    }
    return static_cast<int>(ExitStatus::failure);
}

}  // namespace kavrelo::console::win32
