#include "application.h"
#include "form1_window.h"

#include <binding/loader.h>
#include <binding/zavlek_library.h>
#include <console/commands.h>

#include <QApplication>

#include <cstdio>
#include <stdexcept>

int main(int argc, char* argv[]) {
    using namespace kavrelo;
    QApplication application(argc, argv);
    console::qt::configure_application(application);

    const auto loader = binding::make_system_loader();
    binding::ZavlekLibrary library(*loader);
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
