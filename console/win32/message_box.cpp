// SPDX-License-Identifier: MIT
#include "message_box.h"

#include "gdi.h"
#include "text.h"

#include <console/fitting.h>
#include <console/version.h>

#include <algorithm>
#include <climits>
#include <string>

namespace kavrelo::console::win32 {
namespace {

constexpr wchar_t kAccept[] = L"Aceptar";

// A hook on this thread sees the system's box once the box has laid itself
// out and before it shows. The box names its button in the system's language:
// the button is renamed and widened for its Spanish caption. The box sizes
// itself by rules of its own, which differ between systems: one that does not
// fit the screen is closed before it shows, so that a shorter text can be
// tried.
class BoxAsShown {
public:
    explicit BoxAsShown(bool refuse_off_screen)
        : hook_(SetWindowsHookExW(WH_CALLWNDPROCRET, &after_message, nullptr, GetCurrentThreadId())),
          refuse_off_screen_(refuse_off_screen) {
        current() = this;
    }
    ~BoxAsShown() {
        if (hook_ != nullptr) {
            UnhookWindowsHookEx(hook_);
        }
        current() = nullptr;
    }
    BoxAsShown(const BoxAsShown&) = delete;
    BoxAsShown& operator=(const BoxAsShown&) = delete;

    // Whether the box was closed unseen because it did not fit the screen.
    bool refused() const noexcept { return refused_; }

private:
    static BoxAsShown*& current() {
        thread_local BoxAsShown* box = nullptr;
        return box;
    }

    // Only the box: the window it returns to keeps its own buttons' captions.
    static LRESULT CALLBACK after_message(int code, WPARAM wparam, LPARAM lparam) {
        const auto* message = reinterpret_cast<const CWPRETSTRUCT*>(lparam);
        if (code == HC_ACTION && message->message == WM_INITDIALOG && is_message_box(message->hwnd) &&
            current() != nullptr) {
            current()->laid_out(message->hwnd);
        }
        return CallNextHookEx(nullptr, code, wparam, lparam);
    }

    static bool is_message_box(HWND window) {
        wchar_t class_name[16] = {};
        GetClassNameW(window, class_name, 16);
        return lstrcmpW(class_name, L"#32770") == 0;
    }

    void laid_out(HWND box) {
        EnumChildWindows(box, &caption_in_spanish, 0);
        if (refuse_off_screen_ && !on_screen(box)) {
            refused_ = true;
            // The system shows a box ended this early all the same: it shows
            // beyond every screen.
            SetWindowPos(box, nullptr,
                         GetSystemMetrics(SM_XVIRTUALSCREEN) + GetSystemMetrics(SM_CXVIRTUALSCREEN),
                         GetSystemMetrics(SM_YVIRTUALSCREEN) + GetSystemMetrics(SM_CYVIRTUALSCREEN), 0, 0,
                         SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            EndDialog(box, IDCANCEL);
        }
    }

    static bool on_screen(HWND box) {
        MONITORINFO monitor{};
        monitor.cbSize = sizeof monitor;
        GetMonitorInfoW(MonitorFromWindow(box, MONITOR_DEFAULTTONEAREST), &monitor);
        RECT rect{};
        GetWindowRect(box, &rect);
        const RECT& work = monitor.rcWork;
        return rect.bottom - rect.top <= work.bottom - work.top &&
               rect.right - rect.left <= work.right - work.left;
    }

    // Renames the button and widens it about its centre, so the new caption
    // keeps a margin of half the button's height on each side.
    static BOOL CALLBACK caption_in_spanish(HWND child, LPARAM) {
        wchar_t class_name[16] = {};
        GetClassNameW(child, class_name, 16);
        if (lstrcmpiW(class_name, L"Button") != 0) {
            return TRUE;
        }
        SetWindowTextW(child, kAccept);
        const auto font = reinterpret_cast<HFONT>(SendMessageW(child, WM_GETFONT, 0, 0));
        const WindowDcWithFont dc(child, font);
        SIZE caption{};
        GetTextExtentPoint32W(dc.get(), kAccept, lstrlenW(kAccept), &caption);
        RECT rect{};
        GetWindowRect(child, &rect);
        const HWND box = GetParent(child);
        MapWindowPoints(HWND_DESKTOP, box, reinterpret_cast<POINT*>(&rect), 2);
        const LONG height = rect.bottom - rect.top;
        const LONG width = caption.cx + height;
        if (width > rect.right - rect.left) {
            RECT client{};
            GetClientRect(box, &client);
            const LONG left = std::max<LONG>(0, (rect.left + rect.right - width) / 2);
            SetWindowPos(child, nullptr, left, rect.top, std::min(width, client.right - left), height,
                         SWP_NOZORDER | SWP_NOACTIVATE);
        }
        return TRUE;
    }

    HHOOK hook_;
    bool refuse_off_screen_;
    bool refused_ = false;
};

// Whether every word of the text is narrower than the width: the box does
// not break a word, and one too long for it widens the box past the screen.
bool words_fit(HDC dc, std::u16string_view text, int width) {
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = std::min(text.find_first_of(u" \t\r\n", start), text.size());
        const auto length = static_cast<int>(std::min<std::size_t>(end - start, INT_MAX));
        SIZE size{};
        if (length > 0 && (!GetTextExtentPoint32W(dc, reinterpret_cast<const wchar_t*>(text.data() + start),
                                                  length, &size) ||
                           size.cx > width)) {
            return false;
        }
        start = end + 1;
    }
    return true;
}

// What the box can show on this screen (message_text): its text wraps at no
// more than half the screen's width and, with the title bar, the margins and
// the button row, stays within the screen's available height. A word wider
// than that would widen the box instead, so it must fit too. A box of
// shorter_than units or more was already made and did not fit the screen, so
// only a shorter text is tried.
std::u16string text_that_fits(HWND owner, std::u16string_view text, std::size_t shorter_than) {
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(owner, MONITOR_DEFAULTTOPRIMARY), &monitor);
    const int available_width = monitor.rcWork.right - monitor.rcWork.left;
    const int available_height = monitor.rcWork.bottom - monitor.rcWork.top;

    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    const OwnedFont font(CreateFontIndirectW(&metrics.lfMessageFont));
    const WindowDcWithFont dc(owner, font.get());
    TEXTMETRICW text_metrics{};
    GetTextMetricsW(dc.get(), &text_metrics);
    const int line_height =
        std::max(1, static_cast<int>(text_metrics.tmHeight + text_metrics.tmExternalLeading));

    constexpr int kChromeLines = 8;
    const TextArea area{available_width / 2,
                        std::max(line_height, available_height - kChromeLines * line_height), line_height};
    return message_text(text, most_that_can_fit(area), [&](std::u16string_view shown) {
        RECT needed{0, 0, area.width, 0};
        DrawTextW(dc.get(), reinterpret_cast<const wchar_t*>(shown.data()),
                  static_cast<int>(std::min<std::size_t>(shown.size(), INT_MAX)), &needed,
                  DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX);
        return shown.size() < shorter_than && needed.bottom <= area.height &&
               words_fit(dc.get(), shown, area.width);
    });
}

}  // namespace

void show_message_box(HWND owner, std::u16string_view text) {
    const std::u16string whole = without_nuls(text);
    std::size_t refused_length = std::u16string::npos;
    for (;;) {
        const std::u16string shown = text_that_fits(owner, whole, refused_length);
        // The shortest text there is shows whatever size its box has.
        const BoxAsShown box(shown.size() < refused_length);
        MessageBoxW(owner, wide(shown), L"" KAVRELO_NAME, MB_OK | MB_APPLMODAL);
        if (!box.refused()) {
            return;
        }
        refused_length = shown.size();
    }
}

}  // namespace kavrelo::console::win32
