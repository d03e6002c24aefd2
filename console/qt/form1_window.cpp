// SPDX-License-Identifier: MIT
#include "form1_window.h"

#include "announcement.h"
#include "message_box.h"
#include "text.h"

#include <console/fitting.h>
#include <console/form.h>

#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <stdexcept>
#include <string>

namespace kavrelo::console::qt {

Form1Window::Form1Window(Commands& commands, EndProgram end_program, QWidget* parent)
    : QMainWindow(parent), commands_(commands), end_program_(std::move(end_program)) {
    create_controls();
    bind_commands();
}

template <typename Widget>
Widget* Form1Window::control(std::string_view name) const {
    auto* widget = qobject_cast<Widget*>(named(controls_, name));
    if (widget == nullptr) {
        throw std::logic_error("Form1 has no control " + std::string(name) + " of the expected kind");
    }
    return widget;
}

void Form1Window::create_controls() {
    controls_ = build_form(form1(), *this);
    text1_ = control<QLineEdit>(form1().parser_input);
    label3_ = control<QLabel>(form1().announced);
}

void Form1Window::bind_commands() {
    for (const CommandBinding& bound : button_commands(form1())) {
        const Command command = bound.command;
        connect(control<QPushButton>(bound.control), &QPushButton::clicked, this,
                [this, command] { button_clicked(command); });
    }
}

void Form1Window::button_clicked(Command command) { run_command(commands_, command, *this); }

std::u16string Form1Window::text1() const { return to_u16string(text1_->text()); }

void Form1Window::set_label3(std::u16string_view caption) {
    const TextArea area{label3_->width(), label3_->height(), QFontMetrics(label3_->font()).lineSpacing()};
    const QString shown = to_qstring(label_text(caption, area));
    label3_->setText(shown);
    announce(*label3_);
}

void Form1Window::show_message(std::u16string_view text) { show_message_box(this, text); }

void Form1Window::end_program(ExitStatus status) { end_program_(status); }

}  // namespace kavrelo::console::qt
