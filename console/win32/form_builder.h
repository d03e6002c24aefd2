// SPDX-License-Identifier: MIT
// Form1's table rendered as child windows of a Win32 window.
#pragma once

#include "scale.h"

#include <console/form.h>

#include <windows.h>

#include <map>
#include <string_view>

namespace kavrelo::console::win32 {

using NamedControls = std::map<std::string_view, HWND>;

// The command identifier of a control: its row in the form table, offset so
// as never to meet IDOK or IDCANCEL, which the dialog keys send.
inline constexpr int kFirstControlId = 1000;
const Control* control_of_id(const Form& form, int id) noexcept;

// Creates every control of the form, hidden until the window is shown. Their
// order from top to bottom, which is also the order the Tab key follows, is
// the focus cycle by tab index, then the labels, then the frames beneath
// what they contain. Controls in a frame are the window's own children,
// placed inside the frame's rectangle, so that their notifications reach the
// window.
NamedControls build_form(const Form& form, HWND window);

// Places the controls for this scale; the layout never changes otherwise.
void place_controls(const Form& form, const NamedControls& controls, const Scale& scale);

// The client rectangle of the window at this scale.
RECT client_rect(const Form& form, const Scale& scale) noexcept;

}  // namespace kavrelo::console::win32
