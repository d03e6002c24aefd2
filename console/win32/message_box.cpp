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

// The system's box names its button in the system's language; while the box
// is up, a hook on this thread renames it as it appears.
class AcceptButtonInSpanish {
public:
    AcceptButtonInSpanish() : hook_(SetWindowsHookExW(WH_CBT, &rename, nullptr, GetCurrentThreadId())) {}
    ~AcceptButtonInSpanish() {
        if (hook_ != nullptr) {
            UnhookWindowsHookEx(hook_);
        }
    }
    AcceptButtonInSpanish(const AcceptButtonInSpanish&) = delete;
    AcceptButtonInSpanish& operator=(const AcceptButtonInSpanish&) = delete;

private:
    // Only the box: the window it returns to is activated again while the
    // hook is still in place, and its own buttons keep their captions.
    static LRESULT CALLBACK rename(int code, WPARAM wparam, LPARAM lparam) {
        const auto window = reinterpret_cast<HWND>(wparam);
        if (code == HCBT_ACTIVATE && is_message_box(window)) {
            EnumChildWindows(window, &rename_button, 0);
        }
        return CallNextHookEx(nullptr, code, wparam, lparam);
    }

    static bool is_message_box(HWND window) {
        wchar_t class_name[16] = {};
        GetClassNameW(window, class_name, 16);
        return lstrcmpW(class_name, L"#32770") == 0;
    }

    static BOOL CALLBACK rename_button(HWND child, LPARAM) {
        wchar_t class_name[16] = {};
        GetClassNameW(child, class_name, 16);
        if (lstrcmpiW(class_name, L"Button") == 0) {
            SetWindowTextW(child, kAccept);
        }
        return TRUE;
    }

    HHOOK hook_;
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
// than that would widen the box instead, so it must fit too.
std::u16string text_that_fits(HWND owner, std::u16string_view text) {
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
        return needed.bottom <= area.height && words_fit(dc.get(), shown, area.width);
    });
}

}  // namespace

void show_message_box(HWND owner, std::u16string_view text) {
    const std::u16string shown = text_that_fits(owner, without_nuls(text));
    const AcceptButtonInSpanish accept;
    MessageBoxW(owner, wide(shown), L"" KAVRELO_NAME, MB_OK | MB_APPLMODAL);
}

}  // namespace kavrelo::console::win32
