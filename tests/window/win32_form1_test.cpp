// SPDX-License-Identifier: MIT
// Form1 on Win32, in a real window under Wine and an X server: the window as
// the program builds it, and Kavrelo1.exe itself as a process.
#include "support/doubles.h"
#include "support/hard_texts.h"

#include <binding/zavlek_library.h>
#include <console/commands.h>
#include <console/form.h>
#include <console/win32/form1_window.h>
#include <console/win32/painting.h>
#include <console/win32/program.h>
#include <text/utf8.h>

#include <gtest/gtest.h>

#include <windows.h>
#include <initguid.h>
#include <oleacc.h>
#include <tlhelp32.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace kavrelo::console::win32 {
namespace {

using recording_double::Result;

std::u16string text_of(HWND window) {
    std::u16string text(static_cast<std::size_t>(GetWindowTextLengthW(window)), u'\0');
    GetWindowTextW(window, reinterpret_cast<wchar_t*>(text.data()), static_cast<int>(text.size() + 1));
    return text;
}

std::u16string class_of(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return reinterpret_cast<const char16_t*>(name);
}

// What a message box showed when it came up, read before the test closes it.
struct SeenBox {
    std::u16string title;
    std::u16string text;
    std::vector<std::u16string> buttons;
    bool icon = false;
    // Whether each button's caption, in the button's font, fits within the
    // button with room to spare on each side.
    bool captions_fit = true;
};

BOOL CALLBACK add_window(HWND window, LPARAM list) {
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
}

std::vector<HWND> children_of(HWND window) {
    std::vector<HWND> children;
    EnumChildWindows(window, &add_window, reinterpret_cast<LPARAM>(&children));
    return children;
}

std::vector<HWND> top_level_windows() {
    std::vector<HWND> windows;
    EnumWindows(&add_window, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

// The caption's width in the button's font, with the margins that the
// button's frame and its focus rectangle take, against the button's width.
bool caption_fits(HWND button) {
    const std::u16string caption = text_of(button);
    const HDC dc = GetDC(button);
    const HGDIOBJ previous =
        SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(button, WM_GETFONT, 0, 0)));
    SIZE size{};
    GetTextExtentPoint32W(dc, reinterpret_cast<const wchar_t*>(caption.c_str()),
                          static_cast<int>(caption.size()), &size);
    SelectObject(dc, previous);
    ReleaseDC(button, dc);
    RECT rect{};
    GetClientRect(button, &rect);
    const int margins = 4 * (GetSystemMetrics(SM_CXEDGE) + GetSystemMetrics(SM_CXFOCUSBORDER));
    return size.cx + margins <= rect.right;
}

SeenBox read_box(HWND box) {
    SeenBox seen{text_of(box), {}, {}};
    for (HWND child : children_of(box)) {
        // The box may not be on the screen yet: what counts is whether each
        // control is meant to show.
        if ((GetWindowLongW(child, GWL_STYLE) & WS_VISIBLE) == 0) {
            continue;
        }
        if (class_of(child) == u"Button") {
            seen.buttons.push_back(text_of(child));
            seen.captions_fit = seen.captions_fit && caption_fits(child);
        } else if (class_of(child) == u"Static" &&
                   (GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
            seen.icon = SendMessageW(child, STM_GETICON, 0, 0) != 0;
        } else if (class_of(child) == u"Static" && GetWindowTextLengthW(child) > 0) {
            seen.text = text_of(child);
        }
    }
    return seen;
}

// Presses the button of every message box this thread activates, and reads
// each box as it is when the press arrives: the box may be activated while
// it is still being set up, and one the program closes before it shows is
// never read. Where each box showed is kept too.
class BoxCloser {
public:
    BoxCloser()
        : activation_(SetWindowsHookExW(WH_CBT, &activated, nullptr, GetCurrentThreadId())),
          delivery_(SetWindowsHookExW(WH_GETMESSAGE, &delivered, nullptr, GetCurrentThreadId())),
          showing_(SetWindowsHookExW(WH_CALLWNDPROCRET, &moved, nullptr, GetCurrentThreadId())) {
        current() = this;
    }
    ~BoxCloser() {
        UnhookWindowsHookEx(showing_);
        UnhookWindowsHookEx(delivery_);
        UnhookWindowsHookEx(activation_);
        current() = nullptr;
    }
    std::vector<SeenBox> seen;
    std::vector<RECT> shown_at;

private:
    static BoxCloser*& current() {
        static BoxCloser* closer = nullptr;
        return closer;
    }
    static bool is_box(HWND window) { return current() != nullptr && class_of(window) == u"#32770"; }
    static LRESULT CALLBACK activated(int code, WPARAM wparam, LPARAM lparam) {
        const LRESULT next = CallNextHookEx(nullptr, code, wparam, lparam);
        const auto box = reinterpret_cast<HWND>(wparam);
        if (code == HCBT_ACTIVATE && is_box(box)) {
            PostMessageW(box, WM_COMMAND, IDOK, 0);
        }
        return next;
    }
    static LRESULT CALLBACK delivered(int code, WPARAM wparam, LPARAM lparam) {
        const auto* message = reinterpret_cast<const MSG*>(lparam);
        if (code == HC_ACTION && wparam == PM_REMOVE && message->message == WM_COMMAND &&
            message->wParam == IDOK && is_box(message->hwnd)) {
            current()->seen.push_back(read_box(message->hwnd));
        }
        return CallNextHookEx(nullptr, code, wparam, lparam);
    }
    static LRESULT CALLBACK moved(int code, WPARAM wparam, LPARAM lparam) {
        const auto* message = reinterpret_cast<const CWPRETSTRUCT*>(lparam);
        if (code == HC_ACTION && message->message == WM_WINDOWPOSCHANGED && is_box(message->hwnd) &&
            (reinterpret_cast<const WINDOWPOS*>(message->lParam)->flags & SWP_SHOWWINDOW) != 0) {
            RECT rect{};
            GetWindowRect(message->hwnd, &rect);
            current()->shown_at.push_back(rect);
        }
        return CallNextHookEx(nullptr, code, wparam, lparam);
    }
    HHOOK activation_;
    HHOOK delivery_;
    HHOOK showing_;
};

RECT rect_in_client(HWND window, HWND control) {
    RECT rect{};
    GetWindowRect(control, &rect);
    MapWindowPoints(HWND_DESKTOP, window, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

COLORREF pixel_at(HWND window, int x, int y) {
    const HDC dc = GetDC(window);
    const COLORREF colour = GetPixel(dc, x, y);
    ReleaseDC(window, dc);
    return colour;
}

// Writes what the window's client area shows now to screenshots/NAME, a
// 24-bit BMP; tells whether it could.
bool save_picture(HWND window, const std::string& name) {
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    RECT client{};
    GetClientRect(window, &client);
    const HDC window_dc = GetDC(window);
    const HDC memory = CreateCompatibleDC(window_dc);
    const HBITMAP bitmap = CreateCompatibleBitmap(window_dc, client.right, client.bottom);
    const HGDIOBJ previous = SelectObject(memory, bitmap);
    const bool copied = BitBlt(memory, 0, 0, client.right, client.bottom, window_dc, 0, 0, SRCCOPY) != 0;
    SelectObject(memory, previous);
    BITMAPINFOHEADER header{
        sizeof(BITMAPINFOHEADER), client.right, client.bottom, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    const int stride = (client.right * 3 + 3) & ~3;
    std::vector<char> pixels(static_cast<std::size_t>(stride * client.bottom));
    GetDIBits(memory, bitmap, 0, static_cast<UINT>(client.bottom), pixels.data(),
              reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(window, window_dc);

    const std::filesystem::path folder = testing::test_folder("../screenshots");
    std::filesystem::create_directories(folder);
    std::ofstream file(folder / name, std::ios::binary);
    const BITMAPFILEHEADER file_header{
        0x4D42, static_cast<DWORD>(sizeof(BITMAPFILEHEADER) + sizeof header + pixels.size()), 0, 0,
        static_cast<DWORD>(sizeof(BITMAPFILEHEADER) + sizeof header)};
    file.write(reinterpret_cast<const char*>(&file_header), sizeof file_header);
    file.write(reinterpret_cast<const char*>(&header), sizeof header);
    file.write(pixels.data(), static_cast<std::streamsize>(pixels.size()));
    return copied && file.good();
}

class Win32Form1 : public ::testing::Test {
protected:
    Win32Form1() {
        window.show(SW_SHOWNORMAL);
        pump();
    }

    // Handles whatever is waiting, as the event loop would.
    void pump() {
        MSG message{};
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            window.process(message);
        }
    }
    void press(const char* name) {
        SendMessageW(window.control(name), BM_CLICK, 0, 0);
        pump();
    }
    void key(HWND target, WPARAM virtual_key) {
        PostMessageW(target, WM_KEYDOWN, virtual_key, 1);
        PostMessageW(target, WM_KEYUP, virtual_key, 1 | (1u << 30) | (1u << 31));
        pump();
    }
    HWND at(const char* name) const { return window.control(name); }

    // A failed test leaves a picture of the window, named in its output.
    void TearDown() override {
        if (!HasFailure()) {
            return;
        }
        const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
        const std::string name = std::string("failed-") + test->test_suite_name() + "." + test->name() +
                                 (sizeof(void*) == 8 ? "-64" : "-32") + ".bmp";
        if (save_picture(window.handle(), name)) {
            std::cerr << "The window at the failure: " << testing::test_folder("../screenshots") << '/'
                      << name << '\n';
        }
    }

    testing::FolderLoader loader{testing::kComplete};
    testing::Recorder recorder;
    binding::ZavlekLibrary library{loader};
    Commands commands{library};
    Form1Window window{GetModuleHandleW(nullptr), commands};
};

// The dots per inch the run was started for, when it says.
UINT expected_dpi() {
    const char* pinned = std::getenv("KAVRELO_EXPECTED_DPI");
    return pinned != nullptr ? static_cast<UINT>(std::atoi(pinned)) : 0;
}

TEST_F(Win32Form1, ControlsStandWhereTheFormPutsThem) {
    const UINT dpi = GetDpiForWindow(window.handle());
    if (expected_dpi() != 0) {
        ASSERT_EQ(dpi, expected_dpi());
    }
    const auto pixels = [dpi](int twips) { return MulDiv(twips, static_cast<int>(dpi), 1440); };
    RECT client{};
    GetClientRect(window.handle(), &client);
    EXPECT_EQ(client.right, pixels(7935));
    EXPECT_EQ(client.bottom, pixels(3645));
    if (dpi == 144) {
        EXPECT_EQ(client.right, 794);  // 529.0 and 243.0 at 96, times one and a half
        EXPECT_EQ(client.bottom, 365);
    }
    if (dpi == 96) {
        EXPECT_EQ(client.right, 529);
        EXPECT_EQ(client.bottom, 243);
        const RECT text1 = rect_in_client(window.handle(), at("Text1"));
        EXPECT_EQ(text1.left, 16);  // 8 in the frame, the frame 8 in the window
        EXPECT_EQ(text1.top, 48);
        EXPECT_EQ(text1.right - text1.left, 249);
    }
    for (const Control& control : form1().controls) {
        const RECT rect = rect_in_client(window.handle(), at(std::string(control.name).c_str()));
        const int frame_left = control.parent.empty() ? 0 : 120;
        const int frame_top = control.parent.empty() ? 0 : 120;
        EXPECT_EQ(rect.left, pixels(control.left + frame_left)) << control.name;
        EXPECT_EQ(rect.top, pixels(control.top + frame_top)) << control.name;
        EXPECT_EQ(rect.right - rect.left, pixels(control.width)) << control.name;
        EXPECT_EQ(rect.bottom - rect.top, pixels(control.height)) << control.name;
    }
    // Text1 lies over the lower part of Label1.
    const POINT in_both{MulDiv(20, static_cast<int>(dpi), 96), MulDiv(52, static_cast<int>(dpi), 96)};
    EXPECT_EQ(ChildWindowFromPointEx(window.handle(), in_both, CWP_SKIPINVISIBLE), at("Text1"));
}

TEST_F(Win32Form1, MovingToAScreenOfAnotherDensityRescalesTheLayout) {
    const UINT dpi = GetDpiForWindow(window.handle()) * 3 / 2;
    RECT suggested{};
    GetWindowRect(window.handle(), &suggested);
    SendMessageW(window.handle(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
    pump();
    const auto pixels = [dpi](int twips) { return MulDiv(twips, static_cast<int>(dpi), 1440); };
    const RECT salir = rect_in_client(window.handle(), at("Command3"));
    EXPECT_EQ(salir.left, pixels(4680));
    EXPECT_EQ(salir.top, pixels(1560));
    EXPECT_EQ(salir.right - salir.left, pixels(3135));
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(at("Label3"), WM_GETFONT, 0, 0)), sizeof font, &font);
    EXPECT_EQ(font.lfHeight, -MulDiv(825, static_cast<int>(dpi), 7200));
    EXPECT_EQ(font.lfWeight, 700);
    EXPECT_STREQ(font.lfFaceName, L"Arial");
}

TEST_F(Win32Form1, NothingMovesWhenTheWindowIsMaximised) {
    const RECT before = rect_in_client(window.handle(), at("Command3"));
    ShowWindow(window.handle(), SW_MAXIMIZE);
    pump();
    const RECT after = rect_in_client(window.handle(), at("Command3"));
    EXPECT_TRUE(EqualRect(&before, &after));
}

TEST_F(Win32Form1, FocusStartsOnTheStackTestAndTabFollowsTheTabIndex) {
    EXPECT_EQ(GetFocus(), at("Command1"));
    const std::array<const char*, 6> cycle = {"Command2", "Command3", "Command4",
                                              "Command5", "Text1",    "Command1"};
    HWND current = at("Command1");
    for (const char* next : cycle) {
        current = GetNextDlgTabItem(window.handle(), current, FALSE);
        EXPECT_EQ(current, at(next)) << next;
    }
    // The real key, through the event loop.
    key(GetFocus(), VK_TAB);
    key(GetFocus(), VK_TAB);
    EXPECT_EQ(GetFocus(), at("Command3"));
}

TEST_F(Win32Form1, EnterAndEscapeInText1DoNothingAndSpaceOrEnterPressAButton) {
    SetWindowTextW(at("Text1"), L"1+2");
    SetFocus(at("Text1"));
    key(at("Text1"), VK_RETURN);
    key(at("Text1"), VK_ESCAPE);
    EXPECT_EQ(recorder.calls(3), 0);
    EXPECT_TRUE(IsWindow(window.handle()));

    SetFocus(at("Command5"));
    key(at("Command5"), VK_SPACE);
    EXPECT_EQ(recorder.calls(3), 1);
    EXPECT_EQ(text_of(at("Label3")), u"resultado");
    key(at("Command5"), VK_RETURN);  // as on the classic platform, Enter presses the focused button
    EXPECT_EQ(recorder.calls(3), 2);
}

TEST_F(Win32Form1, ColoursAreTheFormsAndEveryTextIsReadable) {
    RedrawWindow(window.handle(), nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    const HWND form = window.handle();
    const UINT dpi = GetDpiForWindow(form);
    const auto at_96 = [dpi](int pixels) { return MulDiv(pixels, static_cast<int>(dpi), 96); };
    const auto rgb = [](COLORREF colour) {
        return Rgb{GetRValue(colour), GetGValue(colour), GetBValue(colour)};
    };
    // A system colour is the system's own unless the form's text would be
    // unreadable on it; then it is the classic value.
    const auto system_or_classic = [&](COLORREF seen, int index, COLORREF classic, COLORREF text) {
        EXPECT_TRUE(seen == GetSysColor(index) || seen == classic) << std::hex << seen;
        EXPECT_GE(contrast_ratio(rgb(seen), rgb(text)), kLeastReadableContrast) << std::hex << seen;
    };
    EXPECT_EQ(pixel_at(form, at_96(3), at_96(3)), RGB(0, 0, 64));          // the window: dark navy
    EXPECT_EQ(pixel_at(form, at_96(30), at_96(150)), RGB(224, 224, 224));  // Label3: light grey
    system_or_classic(pixel_at(form, at_96(12), at_96(200)), COLOR_CAPTIONTEXT, RGB(255, 255, 255),
                      RGB(0, 0, 64));  // the frame, with navy text
    system_or_classic(pixel_at(form, at_96(330), at_96(14)), COLOR_INACTIVECAPTIONTEXT, RGB(212, 208, 200),
                      GetSysColor(COLOR_BTNTEXT));  // Command1's face, between focus rectangle and caption
}

TEST_F(Win32Form1, MessageBoxesAreTitledKavrelo1WithOneAceptarButton) {
    BoxCloser closer;
    recorder.answer_with(Result::normal);
    press("Command4");
    SetWindowTextW(at("Text1"), L"");
    press("Command5");
    ASSERT_EQ(closer.seen.size(), 2u);
    EXPECT_EQ(closer.seen[0].title, u"Kavrelo1");
    EXPECT_EQ(closer.seen[0].text, u"resultado");
    EXPECT_EQ(closer.seen[0].buttons, std::vector<std::u16string>{u"Aceptar"});
    EXPECT_FALSE(closer.seen[0].icon);
    EXPECT_TRUE(closer.seen[0].captions_fit);
    EXPECT_EQ(closer.seen[1].text, u"No se aceptan cadenas vac\u00EDas");
    EXPECT_EQ(recorder.calls(3), 0);
}

// The box sizes itself by its own rules, which differ between systems: it
// must fit the screen whatever the shape of the text.
TEST_F(Win32Form1, ASixteenMegabyteAnswerBoxStaysOnTheScreen) {
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const RECT screens{GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
                       GetSystemMetrics(SM_XVIRTUALSCREEN) + GetSystemMetrics(SM_CXVIRTUALSCREEN),
                       GetSystemMetrics(SM_YVIRTUALSCREEN) + GetSystemMetrics(SM_CYVIRTUALSCREEN)};
    for (const Result answer :
         {Result::sixteen_mb, Result::sixteen_mb_of_tokens, Result::sixteen_mb_of_words}) {
        SCOPED_TRACE(static_cast<int>(answer));
        BoxCloser closer;
        recorder.answer_with(answer);
        press("Command4");
        ASSERT_EQ(closer.seen.size(), 1u);
        EXPECT_NE(closer.seen[0].text.find(u"texto cortado"), std::u16string::npos)
            << closer.seen[0].text.size();
        EXPECT_TRUE(closer.seen[0].captions_fit);
        // Every box that showed on a screen, the one read included, lies
        // within the screen's work area.
        ASSERT_FALSE(closer.shown_at.empty());
        for (const RECT& box : closer.shown_at) {
            RECT on_a_screen{};
            if (!IntersectRect(&on_a_screen, &box, &screens)) {
                continue;
            }
            EXPECT_GE(box.top, work.top);
            EXPECT_LE(box.bottom, work.bottom);
            EXPECT_GE(box.left, work.left);
            EXPECT_LE(box.right, work.right);
        }
    }
}

// The system's message font, made larger for a while, as on a desktop set
// for reading at a distance.
class LargerMessageFont {
public:
    explicit LargerMessageFont(int times) {
        before_.cbSize = sizeof before_;
        SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof before_, &before_, 0);
        NONCLIENTMETRICSW larger = before_;
        larger.lfMessageFont.lfHeight *= times;
        SystemParametersInfoW(SPI_SETNONCLIENTMETRICS, sizeof larger, &larger, 0);
    }
    ~LargerMessageFont() { SystemParametersInfoW(SPI_SETNONCLIENTMETRICS, sizeof before_, &before_, 0); }
    LargerMessageFont(const LargerMessageFont&) = delete;
    LargerMessageFont& operator=(const LargerMessageFont&) = delete;

private:
    NONCLIENTMETRICSW before_{};
};

// The button is sized for the system's own caption, which may be shorter.
TEST_F(Win32Form1, AceptarReadsWholeInALargerFont) {
    const LargerMessageFont larger(2);
    BoxCloser closer;
    recorder.answer_with(Result::normal);
    press("Command4");
    ASSERT_EQ(closer.seen.size(), 1u);
    EXPECT_EQ(closer.seen[0].buttons, std::vector<std::u16string>{u"Aceptar"});
    EXPECT_TRUE(closer.seen[0].captions_fit);
}

// The box's button is renamed "Aceptar"; the window the box returns to keeps
// its own buttons' captions.
TEST_F(Win32Form1, AMessageBoxLeavesForm1sButtonsAsTheyWere) {
    std::vector<std::u16string> before;
    for (const char* name : {"Command1", "Command2", "Command3", "Command4", "Command5"}) {
        before.push_back(text_of(at(name)));
    }
    BoxCloser closer;
    recorder.answer_with(Result::normal);
    press("Command4");
    ASSERT_EQ(closer.seen.size(), 1u);
    std::vector<std::u16string> after;
    for (const char* name : {"Command1", "Command2", "Command3", "Command4", "Command5"}) {
        after.push_back(text_of(at(name)));
    }
    EXPECT_EQ(after, before);
}

// A window's text ends at its first NUL: an answer "a", NUL, "b" must still
// show its "b", in the label and in a message box alike.
TEST_F(Win32Form1, AnAnswerWithANulShowsAllItsCharacters) {
    BoxCloser closer;
    recorder.answer_with(Result::embedded_nul);
    press("Command4");
    SetWindowTextW(at("Text1"), L"x");
    press("Command5");
    ASSERT_EQ(closer.seen.size(), 1u);
    EXPECT_EQ(closer.seen[0].text, u"ab");
    EXPECT_EQ(text_of(at("Label3")), u"ab");
}

TEST_F(Win32Form1, Label3KeepsOnlyWhatItCanShowOfALongAnswer) {
    const RECT before = rect_in_client(window.handle(), at("Label3"));
    recorder.answer_with(Result::sixteen_mb);
    SetWindowTextW(at("Text1"), L"x");
    press("Command5");
    const std::u16string shown = text_of(at("Label3"));
    EXPECT_GT(shown.size(), 100u);
    EXPECT_LT(shown.size(), 100000u);
    EXPECT_EQ(shown.substr(0, 64), std::u16string(63, u'x') + u"|");
    const RECT after = rect_in_client(window.handle(), at("Label3"));
    EXPECT_TRUE(EqualRect(&before, &after));
}

// The label's pixels, as drawn now.
std::vector<COLORREF> pixels_of(HWND label) {
    RedrawWindow(label, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    RECT rect{};
    GetClientRect(label, &rect);
    std::vector<COLORREF> pixels;
    const HDC dc = GetDC(label);
    for (int y = 0; y < rect.bottom; ++y) {
        for (int x = 0; x < rect.right; ++x) {
            pixels.push_back(GetPixel(dc, x, y));
        }
    }
    ReleaseDC(label, dc);
    return pixels;
}

TEST_F(Win32Form1, Label3ShowsOfALongAnswerExactlyWhatTheWholeAnswerWouldShow) {
    for (const std::u16string& text : testing::texts_hard_to_cut()) {
        window.set_label3(text);
        const std::vector<COLORREF> cut = pixels_of(at("Label3"));
        SetWindowTextW(at("Label3"), reinterpret_cast<const wchar_t*>(text.c_str()));
        EXPECT_TRUE(pixels_of(at("Label3")) == cut)
            << "differs for a text of " << text.size() << " characters";
    }
}

TEST_F(Win32Form1, SavesAPictureOfItself) {
    // For people to look at: screenshots/form1-win32-<bits>-<dpi>dpi.bmp.
    const std::string name = std::string("form1-win32-") + (sizeof(void*) == 8 ? "64-" : "32-") +
                             std::to_string(GetDpiForWindow(window.handle())) + "dpi.bmp";
    EXPECT_TRUE(save_picture(window.handle(), name));
}

// What a screen reader reads of a control through Active Accessibility.
struct ReadAloud {
    bool found = false;
    std::u16string name;
    std::u16string description;
    long role = 0;
};

std::u16string taken(BSTR text) {
    std::u16string value = text != nullptr ? reinterpret_cast<const char16_t*>(text) : u"";
    SysFreeString(text);
    return value;
}

ReadAloud read_aloud(HWND control) {
    ReadAloud read;
    IAccessible* accessible = nullptr;
    if (FAILED(AccessibleObjectFromWindow(control, static_cast<DWORD>(OBJID_CLIENT), IID_IAccessible,
                                          reinterpret_cast<void**>(&accessible)))) {
        return read;
    }
    read.found = true;
    VARIANT self{};
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    BSTR text = nullptr;
    if (SUCCEEDED(accessible->get_accName(self, &text))) read.name = taken(text);
    text = nullptr;
    if (SUCCEEDED(accessible->get_accDescription(self, &text))) read.description = taken(text);
    VARIANT role{};
    if (SUCCEEDED(accessible->get_accRole(self, &role)) && role.vt == VT_I4) read.role = role.lVal;
    accessible->Release();
    return read;
}

// Wine answers with its own version; Windows has no such export.
bool under_wine() { return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr; }

// Whether the system reads Active Accessibility annotations back: a name
// given to a scratch window through them is the name read.
bool annotations_are_read() {
    const HWND scratch = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                         GetModuleHandleW(nullptr), nullptr);
    IAccPropServices* services = nullptr;
    bool read_back = false;
    if (SUCCEEDED(CoCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER, IID_IAccPropServices,
                                   reinterpret_cast<void**>(&services)))) {
        wchar_t probe[] = L"sonda";
        services->SetHwndPropStr(scratch, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, PROPID_ACC_NAME,
                                 probe);
        read_back = read_aloud(scratch).name == u"sonda";
        services->Release();
    }
    DestroyWindow(scratch);
    return read_back;
}

TEST_F(Win32Form1, ScreenReadersReadTheButtonsByTheirCaptions) {
    for (const char* name : {"Command1", "Command2", "Command3", "Command4", "Command5"}) {
        const ReadAloud read = read_aloud(at(name));
        ASSERT_TRUE(read.found) << name;
        EXPECT_EQ(read.name, text_of(at(name))) << name;
        // Owner-drawn, they stay push buttons for the system's reader; Wine
        // gives every control the client role.
        if (!under_wine()) {
            EXPECT_EQ(read.role, ROLE_SYSTEM_PUSHBUTTON) << name;
        }
    }
}

TEST_F(Win32Form1, ScreenReadersReadText1ByItsLabel) {
    if (!annotations_are_read()) {
        GTEST_SKIP() << "this system does not read Active Accessibility annotations back (Wine does not)";
    }
    EXPECT_EQ(read_aloud(at("Text1")).name, u"Cadena que se env\u00EDa a Parser:");
}

// The live regions that report a change to screen readers, window by
// window, as a reader hears of them: the system calls in while this thread
// takes its messages.
class LiveRegionChanges {
public:
    LiveRegionChanges()
        : hook_(SetWinEventHook(EVENT_OBJECT_LIVEREGIONCHANGED, EVENT_OBJECT_LIVEREGIONCHANGED, nullptr,
                                &changed, GetCurrentProcessId(), 0, WINEVENT_OUTOFCONTEXT)) {
        current() = this;
    }
    ~LiveRegionChanges() {
        UnhookWinEvent(hook_);
        current() = nullptr;
    }
    bool hooked() const { return hook_ != nullptr; }
    std::vector<HWND> windows;

private:
    static LiveRegionChanges*& current() {
        static LiveRegionChanges* changes = nullptr;
        return changes;
    }
    static void CALLBACK changed(HWINEVENTHOOK, DWORD, HWND window, LONG object, LONG child, DWORD, DWORD) {
        if (current() != nullptr && object == OBJID_CLIENT && child == CHILDID_SELF) {
            current()->windows.push_back(window);
        }
    }
    HWINEVENTHOOK hook_;
};

TEST_F(Win32Form1, EveryAnswerIsAnnouncedByLabel3WhoseNameIsTheAnswer) {
    LiveRegionChanges changes;
    ASSERT_TRUE(changes.hooked());
    // Waits for the changes this thread hears of; the limit only turns one
    // that never comes into a failure.
    const auto heard = [&](std::size_t count) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (changes.windows.size() < count && std::chrono::steady_clock::now() < deadline) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
            pump();
        }
        return changes.windows.size() >= count;
    };
    SetWindowTextW(at("Text1"), L"1+2");
    press("Command5");
    ASSERT_TRUE(heard(1)) << "no live region reported a change after the parser's answer";
    EXPECT_EQ(changes.windows, std::vector<HWND>{at("Label3")});
    const ReadAloud label3 = read_aloud(at("Label3"));
    ASSERT_TRUE(label3.found);
    EXPECT_EQ(label3.name, u"resultado");
    // The same answer again is announced again.
    press("Command5");
    ASSERT_TRUE(heard(2)) << "the same answer a second time was not announced";
    EXPECT_EQ(changes.windows.back(), at("Label3"));
    // The window is read by its title.
    EXPECT_EQ(read_aloud(window.handle()).name, form1().title);
}

template <typename Function>
Function entry_point(HMODULE module, const char* name) {
    // Through a pointer to a function of no arguments, which converts to any.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// How a screen reader would be told to speak Label3's changes, through UI
// Automation (its live setting: 0 off, 1 polite, 2 assertive); empty where
// the system cannot say.
std::optional<long> live_setting_of(HWND control) {
    using NodeFromHandle = HRESULT(WINAPI*)(HWND, void**);
    using GetPropertyValue = HRESULT(WINAPI*)(void*, int, VARIANT*);
    using NodeRelease = BOOL(WINAPI*)(void*);
    constexpr int kLiveSettingPropertyId = 30135;
    const HMODULE automation = LoadLibraryW(L"UIAutomationCore.dll");
    if (automation == nullptr) return std::nullopt;
    const auto node_from_handle = entry_point<NodeFromHandle>(automation, "UiaNodeFromHandle");
    const auto get_property_value = entry_point<GetPropertyValue>(automation, "UiaGetPropertyValue");
    const auto node_release = entry_point<NodeRelease>(automation, "UiaNodeRelease");
    std::optional<long> setting;
    void* node = nullptr;
    if (node_from_handle != nullptr && get_property_value != nullptr && node_release != nullptr &&
        SUCCEEDED(node_from_handle(control, &node))) {
        VARIANT value{};
        if (SUCCEEDED(get_property_value(node, kLiveSettingPropertyId, &value)) && value.vt == VT_I4) {
            setting = value.lVal;
        }
        VariantClear(&value);
        node_release(node);
    }
    FreeLibrary(automation);
    return setting;
}

TEST_F(Win32Form1, Label3IsAPoliteLiveRegion) {
    if (!annotations_are_read()) {
        GTEST_SKIP() << "this system does not read Active Accessibility annotations back (Wine does not)";
    }
    EXPECT_EQ(live_setting_of(at("Label3")), 1L);
}

// Refuses, on this thread, every window made inside a window of the class,
// as a system short of resources may.
class ChildrenRefused {
public:
    explicit ChildrenRefused(const char16_t* parent_class)
        : hook_(SetWindowsHookExW(WH_CBT, &refuse, nullptr, GetCurrentThreadId())) {
        parent_class_() = parent_class;
    }
    ~ChildrenRefused() { UnhookWindowsHookEx(hook_); }

private:
    static const char16_t*& parent_class_() {
        static const char16_t* name = nullptr;
        return name;
    }
    static LRESULT CALLBACK refuse(int code, WPARAM wparam, LPARAM lparam) {
        if (code == HCBT_CREATEWND) {
            const HWND parent = reinterpret_cast<const CBT_CREATEWNDW*>(lparam)->lpcs->hwndParent;
            if (parent != nullptr && class_of(parent) == parent_class_()) {
                return 1;
            }
        }
        return CallNextHookEx(nullptr, code, wparam, lparam);
    }
    HHOOK hook_;
};

// An error that stops the window before it shows is the fatal report any
// other error gets, never an end with nothing shown.
TEST(Win32Program, AWindowTheSystemCannotMakeIsReportedAndEndsWithStatusOne) {
    testing::FolderLoader loader{testing::kComplete};
    binding::ZavlekLibrary library{loader};
    Commands commands{library};
    BoxCloser closer;
    const ChildrenRefused refused(u"Kavrelo1.Form1");
    EXPECT_EQ(run_program(GetModuleHandleW(nullptr), commands, SW_SHOWNORMAL), 1);
    ASSERT_EQ(closer.seen.size(), 1u);
    const SeenBox& seen = closer.seen.front();
    EXPECT_EQ(seen.title, u"Kavrelo1");
    EXPECT_EQ(seen.text.rfind(u"Error fatal inesperado: cannot create control Command1", 0), 0u)
        << text::to_utf8(seen.text);
    EXPECT_TRUE(seen.text.ends_with(u"\n\nKavrelo1 se cerrará.")) << text::to_utf8(seen.text);
    EXPECT_EQ(seen.buttons, std::vector<std::u16string>{u"Aceptar"});
}

// The process that started this one; 0 when the system cannot say.
DWORD parent_of(DWORD process) {
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return 0;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    DWORD parent = 0;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (entry.th32ProcessID == process) parent = entry.th32ParentProcessID;
    }
    CloseHandle(snapshot);
    return parent;
}

// Kavrelo1.exe as a process of its own.
class Kavrelo1Process {
public:
    explicit Kavrelo1Process(const std::filesystem::path& program) {
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        std::wstring command_line = L"\"" + program.wstring() + L"\"";
        if (!CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                            nullptr, &startup, &process_)) {
            throw std::runtime_error("cannot start " + program.string());
        }
        WaitForInputIdle(process_.hProcess, 30000);
    }
    ~Kavrelo1Process() {
        if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
            TerminateProcess(process_.hProcess, 99);
        }
        CloseHandle(process_.hThread);
        CloseHandle(process_.hProcess);
    }

    // The top-level window of that class of the process, or of a process it
    // started, once it is up.
    HWND wait_for_window(const std::u16string& window_class) const {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (std::chrono::steady_clock::now() < deadline) {
            for (HWND window : top_level_windows()) {
                DWORD owner = 0;
                GetWindowThreadProcessId(window, &owner);
                if ((owner == process_.dwProcessId || parent_of(owner) == process_.dwProcessId) &&
                    IsWindowVisible(window) && class_of(window) == window_class) {
                    return window;
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return nullptr;
    }

    HWND button(HWND window, const wchar_t* caption) const {
        return FindWindowExW(window, nullptr, L"Button", caption);
    }

    DWORD exit_status() const {
        if (WaitForSingleObject(process_.hProcess, 30000) != WAIT_OBJECT_0) {
            return STILL_ACTIVE;
        }
        DWORD status = STILL_ACTIVE;
        GetExitCodeProcess(process_.hProcess, &status);
        return status;
    }

private:
    PROCESS_INFORMATION process_{};
};

std::filesystem::path program_beside_the_reference_library() {
    return testing::test_folder("../bin/Kavrelo1.exe");
}

TEST(Kavrelo1Exe, SalirEndsTheProcessWithStatusZero) {
    const Kavrelo1Process program(program_beside_the_reference_library());
    const HWND form = program.wait_for_window(u"Kavrelo1.Form1");
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(text_of(form), u"Comandos para invocar funciones en DLL");
    PostMessageW(program.button(form, L"Salir"), BM_CLICK, 0, 0);
    EXPECT_EQ(program.exit_status(), 0u);
}

TEST(Kavrelo1Exe, TheCloseBoxEndsTheProcessWithStatusZero) {
    const Kavrelo1Process program(program_beside_the_reference_library());
    const HWND form = program.wait_for_window(u"Kavrelo1.Form1");
    ASSERT_NE(form, nullptr);
    PostMessageW(form, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(program.exit_status(), 0u);
}

TEST(Kavrelo1Exe, AMissingLibraryIsReportedAndEndsTheProcessWithStatusOne) {
    // A copy of the program, made by the build, in a folder with no Zavlek.dll.
    const Kavrelo1Process program(testing::test_folder("doubles/alone/Kavrelo1.exe"));
    const HWND form = program.wait_for_window(u"Kavrelo1.Form1");
    ASSERT_NE(form, nullptr);
    PostMessageW(program.button(form, L"prueba de la pila"), BM_CLICK, 0, 0);
    const HWND box = program.wait_for_window(u"#32770");
    ASSERT_NE(box, nullptr);
    const SeenBox seen = read_box(box);
    EXPECT_EQ(seen.title, u"Kavrelo1");
    EXPECT_NE(seen.text.find(u"No se pudo cargar la biblioteca Zavlek.dll: no est\u00E1 junto al programa"),
              std::u16string::npos);
    EXPECT_EQ(seen.buttons, std::vector<std::u16string>{u"Aceptar"});
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(program.exit_status(), 1u);
}

// Every shape of answer that is no string of the allocator's, in the real
// program: the fatal report on the malformed answer, never a crash, and
// status 1. Each shape's library has a copy of the program beside it.
class Kavrelo1ExeAnswered : public ::testing::TestWithParam<std::string> {};

TEST_P(Kavrelo1ExeAnswered, WhatIsNoStringIsReportedAndEndsTheProcessWithStatusOne) {
    const Kavrelo1Process program(testing::test_folder("doubles/answers_" + GetParam() + "/Kavrelo1.exe"));
    const HWND form = program.wait_for_window(u"Kavrelo1.Form1");
    ASSERT_NE(form, nullptr);
    const HWND text1 = FindWindowExW(form, nullptr, L"Edit", nullptr);
    ASSERT_NE(text1, nullptr);
    SendMessageW(text1, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"1+x"));
    PostMessageW(program.button(form, L"Probar Parser SLR"), BM_CLICK, 0, 0);
    const HWND box = program.wait_for_window(u"#32770");
    ASSERT_NE(box, nullptr);
    const SeenBox seen = read_box(box);
    EXPECT_NE(seen.text.find(u"devolvi\u00F3 desde parser_SLR una cadena mal formada"), std::u16string::npos)
        << text::to_utf8(seen.text);
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(program.exit_status(), 1u);
}

std::vector<std::string> answer_shapes() {
    std::vector<std::string> shapes;
    std::string_view all = KAVRELO_ANSWER_SHAPES;
    while (!all.empty()) {
        const std::size_t end = std::min(all.find(','), all.size());
        shapes.emplace_back(all.substr(0, end));
        all.remove_prefix(std::min(end + 1, all.size()));
    }
    return shapes;
}

INSTANTIATE_TEST_SUITE_P(NoString, Kavrelo1ExeAnswered, ::testing::ValuesIn(answer_shapes()),
                         [](const ::testing::TestParamInfo<std::string>& shape) { return shape.param; });

// A library that crashes the process during parser_SLR: the report still
// comes up, says how it crashed and what was sent, and the program ends
// with status 1 once it is closed. Each folder holds a copy of the program,
// made by the build, beside its library.
TEST(Kavrelo1Exe, ALibraryThatCrashesTheProcessIsReportedAndEndsItWithStatusOne) {
    struct Crash {
        const char* folder;
        std::u16string words;
    };
    for (const Crash& crash :
         {Crash{"doubles/breaks_crash/Kavrelo1.exe",
                u"falló durante parser_SLR: violación de acceso a memoria al escribir en la dirección 0x0"},
          Crash{"doubles/breaks_recursion/Kavrelo1.exe",
                u"falló durante parser_SLR: desbordamiento de pila (0x"},
          Crash{"doubles/breaks_abort/Kavrelo1.exe",
                u"falló durante parser_SLR: la biblioteca o su entorno de ejecución abortó el proceso"}}) {
        SCOPED_TRACE(crash.folder);
        const Kavrelo1Process program(testing::test_folder(crash.folder));
        const HWND form = program.wait_for_window(u"Kavrelo1.Form1");
        ASSERT_NE(form, nullptr);
        HWND text1 = nullptr;
        HWND parse = nullptr;
        for (HWND control : children_of(form)) {
            if (class_of(control) == u"Edit") text1 = control;
            if (text_of(control) == u"Probar Parser SLR") parse = control;
        }
        ASSERT_NE(text1, nullptr);
        ASSERT_NE(parse, nullptr);
        SetWindowTextW(text1, L"(1+x)");
        PostMessageW(parse, BM_CLICK, 0, 0);
        const HWND box = program.wait_for_window(u"#32770");
        ASSERT_NE(box, nullptr) << "no report; the program ended with status " << program.exit_status();
        const SeenBox seen = read_box(box);
        EXPECT_EQ(seen.title, u"Kavrelo1");
        EXPECT_EQ(seen.text.rfind(u"Error fatal. La biblioteca Zavlek.dll ", 0), 0u)
            << text::to_utf8(seen.text);
        EXPECT_NE(seen.text.find(crash.words), std::u16string::npos) << text::to_utf8(seen.text);
        EXPECT_NE(seen.text.find(u"Texto enviado: «(1+x)»."), std::u16string::npos)
            << text::to_utf8(seen.text);
        EXPECT_TRUE(seen.text.ends_with(u"\n\nKavrelo1 se cerrará.")) << text::to_utf8(seen.text);
        EXPECT_EQ(seen.buttons, std::vector<std::u16string>{u"Aceptar"});
        PostMessageW(box, WM_COMMAND, IDOK, 0);
        EXPECT_EQ(program.exit_status(), 1u);
    }
}

}  // namespace
}  // namespace kavrelo::console::win32
