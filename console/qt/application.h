// The program's identity and look, set once on the application object.
#pragma once

class QApplication;

namespace kavrelo::console::qt {

// Name, version, icon, Spanish locale and toolkit texts, the Fusion style
// and the platform default font.
void configure_application(QApplication& application);

}  // namespace kavrelo::console::qt
