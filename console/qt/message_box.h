// SPDX-License-Identifier: MIT
// The program's message box: given text, no icon, one "Aceptar" button,
// titled "Kavrelo1", modal to the whole application.
#pragma once

#include <string_view>

class QWidget;

namespace kavrelo::console::qt {

// Returns when the user has closed the box. Text too long for the screen is
// cut, visibly.
void show_message_box(QWidget* parent, std::u16string_view text);

}  // namespace kavrelo::console::qt
