// SPDX-License-Identifier: MIT
#include "classic_button.h"

#include <QKeyEvent>

namespace kavrelo::console::qt {

void ClassicButton::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && event->modifiers() == Qt::NoModifier) {
        click();
        return;
    }
    QPushButton::keyPressEvent(event);
}

}  // namespace kavrelo::console::qt
