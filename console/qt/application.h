// SPDX-License-Identifier: MIT
// The program's identity and look, set once on the application object.
#pragma once

class QApplication;

namespace kavrelo::console::qt {

// Name, version, icon, Spanish locale and toolkit texts, the Fusion style
// drawn in the classic manner, and Form1's font.
void configure_application(QApplication& application);

}  // namespace kavrelo::console::qt
