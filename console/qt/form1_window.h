// SPDX-License-Identifier: MIT
// Form1 on Qt: the form table rendered, its five buttons bound to their
// commands by name, and the window operations the commands use.
#pragma once

#include "form_builder.h"

#include <console/commands.h>
#include <console/window_operations.h>

#include <QMainWindow>

#include <functional>
#include <string>
#include <string_view>

class QLabel;
class QLineEdit;

namespace kavrelo::console::qt {

// A main window, not a plain widget, so that screen readers take it for a
// window and read its title; it has no bars of its own.
class Form1Window : public QMainWindow, public WindowOperations {
public:
    using EndProgram = std::function<void(ExitStatus)>;

    // Throws std::logic_error when a button has no command or a command no
    // button.
    Form1Window(Commands& commands, EndProgram end_program, QWidget* parent = nullptr);

    std::u16string text1() const override;
    void set_label3(std::u16string_view caption) override;
    void show_message(std::u16string_view text) override;
    void end_program(ExitStatus status) override;

private:
    void create_controls();
    void bind_commands();
    void button_clicked(Command command);
    template <typename Widget>
    Widget* control(std::string_view name) const;

    Commands& commands_;
    EndProgram end_program_;
    NamedControls controls_;
    QLineEdit* text1_ = nullptr;
    QLabel* label3_ = nullptr;
};

}  // namespace kavrelo::console::qt
