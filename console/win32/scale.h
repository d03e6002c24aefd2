// SPDX-License-Identifier: MIT
// Twips and points to pixels at a window's dots per inch: the one place the
// front end scales for the screen.
#pragma once

#include <windows.h>

namespace kavrelo::console::win32 {

inline constexpr UINT kBaseDpi = 96;

class Scale {
public:
    explicit Scale(UINT dpi) : dpi_(dpi) {}

    UINT dpi() const noexcept { return dpi_; }
    // 1440 twips to the inch.
    int twips(int value) const noexcept { return MulDiv(value, static_cast<int>(dpi_), 1440); }
    // A logical font height for a size in hundredths of a point.
    int font_height(int hundredths_of_point) const noexcept {
        return -MulDiv(hundredths_of_point, static_cast<int>(dpi_), 7200);
    }

private:
    UINT dpi_;
};

}  // namespace kavrelo::console::win32
