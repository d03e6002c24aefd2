// SPDX-License-Identifier: MIT
// A push button that Enter presses as Space does, as on the classic
// platform. No button is the window's default: Enter elsewhere presses
// nothing.
#pragma once

#include <QPushButton>

namespace kavrelo::console::qt {

class ClassicButton final : public QPushButton {
public:
    using QPushButton::QPushButton;

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace kavrelo::console::qt
