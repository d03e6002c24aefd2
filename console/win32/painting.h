// SPDX-License-Identifier: MIT
// How Form1's colours and owner-drawn controls look on Windows.
#pragma once

#include <console/form.h>

#include <windows.h>

#include <string>

namespace kavrelo::console::win32 {

COLORREF to_colorref(Rgb rgb) noexcept;

// An explicit colour as it is; a system colour from GetSysColor, as the
// platform's own, unless text drawn on it in the given colour would be hard
// to read (current Windows makes colours 9 and 19 black): then the classic
// value of that colour.
COLORREF resolve_colour(Colour colour, COLORREF text_on_it) noexcept;

// A button whose face is filled with the given colour, raised or pressed,
// with the focus rectangle when it has the focus.
void draw_button(const DRAWITEMSTRUCT& item, COLORREF face, COLORREF text);

// A group frame: an etched line round the control, broken at the top by its
// caption a few pixels in from the left, on the given background.
void draw_frame(const DRAWITEMSTRUCT& item, COLORREF background, COLORREF text, int caption_indent);

}  // namespace kavrelo::console::win32
