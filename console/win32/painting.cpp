// SPDX-License-Identifier: MIT
#include "painting.h"

#include "text.h"

namespace kavrelo::console::win32 {
namespace {

Rgb to_rgb(COLORREF colour) noexcept { return {GetRValue(colour), GetGValue(colour), GetBValue(colour)}; }

void fill(HDC dc, const RECT& rect, COLORREF colour) {
    SetBkColor(dc, colour);
    ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &rect, nullptr, 0, nullptr);
}

}  // namespace

COLORREF to_colorref(Rgb rgb) noexcept { return RGB(rgb.red, rgb.green, rgb.blue); }

COLORREF resolve_colour(Colour colour, COLORREF text_on_it) noexcept {
    if (!colour.is_system()) {
        return to_colorref(classic_rgb(colour));
    }
    const COLORREF system = GetSysColor(static_cast<int>(colour.system_index()));
    if (contrast_ratio(to_rgb(system), to_rgb(text_on_it)) < kLeastReadableContrast) {
        return to_colorref(classic_rgb(colour));
    }
    return system;
}

void draw_button(const DRAWITEMSTRUCT& item, COLORREF face, COLORREF text) {
    const HDC dc = item.hDC;
    RECT rect = item.rcItem;
    const bool pressed = (item.itemState & ODS_SELECTED) != 0;
    fill(dc, rect, face);
    DrawEdge(dc, &rect, pressed ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT | BF_ADJUST);

    RECT caption_rect = rect;
    if (pressed) {
        OffsetRect(&caption_rect, 1, 1);
    }
    const std::u16string caption = window_text(item.hwndItem);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, text);
    DrawTextW(dc, wide(caption), static_cast<int>(caption.size()), &caption_rect,
              DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);

    if ((item.itemState & ODS_FOCUS) != 0) {
        InflateRect(&rect, -2, -2);
        DrawFocusRect(dc, &rect);
    }
}

void draw_frame(const DRAWITEMSTRUCT& item, COLORREF background, COLORREF text, int caption_indent) {
    const HDC dc = item.hDC;
    fill(dc, item.rcItem, background);

    const std::u16string caption = window_text(item.hwndItem);
    SIZE caption_size{};
    GetTextExtentPoint32W(dc, wide(caption), static_cast<int>(caption.size()), &caption_size);
    RECT line = item.rcItem;
    line.top += caption_size.cy / 2;
    DrawEdge(dc, &line, EDGE_ETCHED, BF_RECT);

    // The caption stands on the top line and interrupts it.
    const int padding = 2;
    RECT caption_rect{item.rcItem.left + caption_indent, item.rcItem.top,
                      item.rcItem.left + caption_indent + caption_size.cx + 2 * padding,
                      item.rcItem.top + caption_size.cy};
    fill(dc, caption_rect, background);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, text);
    TextOutW(dc, caption_rect.left + padding, caption_rect.top, wide(caption),
             static_cast<int>(caption.size()));
}

}  // namespace kavrelo::console::win32
