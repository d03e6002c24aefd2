// SPDX-License-Identifier: MIT
#include "application.h"
#include "form1_window.h"
#include "message_box.h"

#include <binding/loader.h>
#include <binding/wording.h>
#include <binding/zavlek_library.h>
#include <console/announcing_loader.h>
#include <console/commands.h>
#include <console/crash_guard.h>
#include <console/library_crash.h>
#include <console/window_operations.h>
#include <text/utf8.h>

#include <QApplication>

#include <cstdio>
#include <optional>
#include <stdexcept>

int main(int, char* argv[]) {
    using namespace kavrelo;
    // The program reads no command line. The toolkit gets the program's name
    // alone, so that its own options (-reverse, -qwindowgeometry...) are not
    // taken from it either; tests pick the platform with QT_QPA_PLATFORM.
    int toolkit_argc = 1;
    char* toolkit_argv[] = {argv[0], nullptr};
    QApplication application(toolkit_argc, toolkit_argv);
    console::qt::configure_application(application);

    // A fresh copy started to report a crash in the library: the report, and
    // nothing else; the library is not loaded again.
    if (const std::optional<std::u16string> report = console::crash_report_from_environment()) {
        std::fprintf(stderr, "kavrelo1: %s\n", text::to_utf8(*report).c_str());
        console::qt::show_message_box(nullptr, *report);
        return static_cast<int>(console::ExitStatus::failure);
    }
    console::guard_library_calls();
    // A user who put "." in the search expects it searched: ours passes it over.
    for (const std::string& element : binding::passed_over_search_elements()) {
        std::fprintf(stderr, "kavrelo1: %s\n", binding::passed_over_words(element).c_str());
    }

    console::AnnouncingLoader loader(binding::make_system_loader(), [](const std::string& location) {
        std::fprintf(stderr, "kavrelo1: %s\n", binding::loaded_library_words(location).c_str());
    });
    binding::ZavlekLibrary library(loader);
    console::Commands commands(library);
    try {
        console::qt::Form1Window window(
            commands, [](console::ExitStatus status) { QApplication::exit(static_cast<int>(status)); });
        window.show();
        return QApplication::exec();
    } catch (const std::logic_error& error) {
        std::fprintf(stderr, "kavrelo1: %s\n", error.what());
        return 2;
    }
}
