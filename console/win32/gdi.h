// SPDX-License-Identifier: MIT
// GDI objects and device contexts owned RAII-style.
#pragma once

#include <windows.h>

#include <memory>
#include <type_traits>

namespace kavrelo::console::win32 {

struct GdiObjectDeleter {
    void operator()(void* object) const noexcept { DeleteObject(static_cast<HGDIOBJ>(object)); }
};

using OwnedBrush = std::unique_ptr<std::remove_pointer_t<HBRUSH>, GdiObjectDeleter>;
using OwnedFont = std::unique_ptr<std::remove_pointer_t<HFONT>, GdiObjectDeleter>;

// A window's device context with a font selected, given back as it was.
class WindowDcWithFont {
public:
    WindowDcWithFont(HWND window, HFONT font)
        : window_(window), dc_(GetDC(window)), previous_(SelectObject(dc_, font)) {}
    ~WindowDcWithFont() {
        SelectObject(dc_, previous_);
        ReleaseDC(window_, dc_);
    }
    WindowDcWithFont(const WindowDcWithFont&) = delete;
    WindowDcWithFont& operator=(const WindowDcWithFont&) = delete;

    HDC get() const noexcept { return dc_; }

private:
    HWND window_;
    HDC dc_;
    HGDIOBJ previous_;
};

}  // namespace kavrelo::console::win32
