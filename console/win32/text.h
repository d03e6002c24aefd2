// SPDX-License-Identifier: MIT
// The program's text is UTF-16, as Windows' own: only the pointer type differs.
#pragma once

#include <string>
#include <string_view>

#include <windows.h>

namespace kavrelo::console::win32 {

inline const wchar_t* wide(const std::u16string& text) noexcept {
    return reinterpret_cast<const wchar_t*>(text.c_str());
}

std::u16string window_text(HWND window);

// A window's text, or a message box's, ends at its first NUL: the NULs of an
// answer are left out, so that all the rest shows, as on Linux, where the
// layout shows nothing for them.
std::u16string without_nuls(std::u16string_view text);

}  // namespace kavrelo::console::win32
