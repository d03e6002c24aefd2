// SPDX-License-Identifier: MIT
// Renders a form table as Qt widgets.
#pragma once

#include <map>
#include <string_view>

class QFont;
class QWidget;

namespace kavrelo::console {
struct Font;
struct Form;
}  // namespace kavrelo::console

namespace kavrelo::console::qt {

// The window's controls by name.
using NamedControls = std::map<std::string_view, QWidget*>;

// Lays the form's controls out on window, which takes on the form's title,
// client size and background; the focus starts on the first control of the
// focus cycle. Throws std::logic_error for a parent that is not an earlier
// control.
NamedControls build_form(const Form& form, QWidget& window);

// A font of the form as Qt's: Liberation Sans stands in for the platform's
// dialog face with the metrics of Arial.
QFont to_qfont(const Font& font);

}  // namespace kavrelo::console::qt
