// SPDX-License-Identifier: MIT
#include "text.h"

namespace kavrelo::console::win32 {

std::u16string window_text(HWND window) {
    std::u16string text(static_cast<std::size_t>(GetWindowTextLengthW(window)), u'\0');
    if (!text.empty()) {
        const int copied = GetWindowTextW(window, reinterpret_cast<wchar_t*>(text.data()),
                                          static_cast<int>(text.size() + 1));
        text.resize(static_cast<std::size_t>(copied));
    }
    return text;
}

std::u16string without_nuls(std::u16string_view text) {
    std::u16string kept(text);
    std::erase(kept, u'\0');
    return kept;
}

}  // namespace kavrelo::console::win32
