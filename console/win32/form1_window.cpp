// SPDX-License-Identifier: MIT
#include "form1_window.h"

#include "message_box.h"
#include "painting.h"
#include "text.h"

#include <console/fitting.h>
#include <console/form.h>

#include <exception>
#include <stdexcept>
#include <string>
#include <vector>

namespace kavrelo::console::win32 {
namespace {

constexpr wchar_t kWindowClass[] = L"Kavrelo1.Form1";
constexpr DWORD kWindowStyle = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
constexpr int kApplicationIcon = 1;

void register_window_class(HINSTANCE instance, WNDPROC procedure) {
    WNDCLASSEXW window_class{};
    window_class.cbSize = sizeof window_class;
    window_class.lpfnWndProc = procedure;
    window_class.hInstance = instance;
    window_class.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(kApplicationIcon));
    window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    window_class.lpszClassName = kWindowClass;
    if (RegisterClassExW(&window_class) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        throw std::runtime_error("cannot register the window class of Form1");
    }
}

RECT window_rect_for(const Form& form, const Scale& scale) {
    RECT rect = client_rect(form, scale);
    AdjustWindowRectExForDpi(&rect, kWindowStyle, FALSE, 0, scale.dpi());
    return rect;
}

std::wstring default_font_face() {
    LOGFONTW font{};
    GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof font, &font);
    return font.lfFaceName;
}

OwnedFont create_font(const Scale& scale, const Font& font) {
    LOGFONTW logical{};
    logical.lfHeight = scale.font_height(font.hundredths_of_point);
    logical.lfWeight = font.weight;
    logical.lfCharSet = static_cast<BYTE>(font.charset);
    logical.lfQuality = DEFAULT_QUALITY;
    const std::wstring face =
        font.face.empty() ? default_font_face() : std::wstring(font.face.begin(), font.face.end());
    lstrcpynW(logical.lfFaceName, face.c_str(), LF_FACESIZE);
    return OwnedFont(CreateFontIndirectW(&logical));
}

// A control's client area, and the height of a line in the control's font.
TextArea text_area_of(HWND control) {
    RECT rect{};
    GetClientRect(control, &rect);
    const WindowDcWithFont dc(control, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc.get(), &metrics);
    return {static_cast<int>(rect.right), static_cast<int>(rect.bottom), static_cast<int>(metrics.tmHeight)};
}

COLORREF text_colour_of(const Control& control) {
    if (control.foreground) {
        return to_colorref(classic_rgb(*control.foreground));
    }
    return GetSysColor(control.kind == ControlKind::button ? COLOR_BTNTEXT : COLOR_WINDOWTEXT);
}

}  // namespace

Form1Window::Form1Window(HINSTANCE instance, Commands& commands) : instance_(instance), commands_(commands) {
    register_window_class(instance, &Form1Window::window_procedure);
    const Form& form = form1();
    const std::u16string title(form.title);
    const RECT rect = window_rect_for(form, Scale(GetDpiForSystem()));
    window_ =
        CreateWindowExW(0, kWindowClass, wide(title), kWindowStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                        rect.right - rect.left, rect.bottom - rect.top, nullptr, nullptr, instance, this);
    if (window_ == nullptr) {
        if (creation_error_) {
            std::rethrow_exception(creation_error_);
        }
        throw std::runtime_error("cannot create Form1");
    }
}

Form1Window::~Form1Window() {
    if (window_ != nullptr) {
        DestroyWindow(window_);
    }
}

void Form1Window::show(int show_command) {
    ShowWindow(window_, show_command);
    UpdateWindow(window_);
    const std::vector<const Control*> cycle = focus_cycle(form1());
    if (!cycle.empty()) {
        SetFocus(named(controls_, cycle.front()->name));
    }
}

int Form1Window::run() {
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        process(message);
    }
    return static_cast<int>(message.wParam);
}

void Form1Window::process(MSG& message) {
    // The dialog keys: Tab and Shift+Tab through the cycle, Space on a button.
    if (window_ == nullptr || !IsDialogMessageW(window_, &message)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

LRESULT CALLBACK Form1Window::window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<Form1Window*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
        self->window_ = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<Form1Window*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr) {
        return DefWindowProcW(window, message, wparam, lparam);
    }
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        self->window_ = nullptr;
        return DefWindowProcW(window, message, wparam, lparam);
    }
    return self->handle_message(message, wparam, lparam);
}

LRESULT Form1Window::handle_message(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_CREATE:
            return on_create() ? 0 : -1;
        case WM_COMMAND:
            on_command(LOWORD(wparam), HIWORD(wparam));
            return 0;
        case WM_ERASEBKGND:
            return on_erase_background(reinterpret_cast<HDC>(wparam));
        case WM_CTLCOLORSTATIC:
            return on_control_colour(reinterpret_cast<HDC>(wparam), reinterpret_cast<HWND>(lparam));
        case WM_DRAWITEM:
            return on_draw_item(*reinterpret_cast<const DRAWITEMSTRUCT*>(lparam));
        case WM_DPICHANGED:
            on_dpi_changed(HIWORD(wparam), *reinterpret_cast<const RECT*>(lparam));
            return 0;
        case WM_DESTROY:
            on_destroy();
            return 0;
        default:
            return DefWindowProcW(window_, message, wparam, lparam);
    }
}

bool Form1Window::on_create() {
    // An exception must not unwind through the system's frames: it waits in
    // creation_error_ for the constructor, and the creation fails.
    try {
        create_controls();
        bind_commands();
        apply_scale(GetDpiForWindow(window_));
        return true;
    } catch (...) {
        creation_error_ = std::current_exception();
        return false;
    }
}

void Form1Window::create_controls() {
    controls_ = build_form(form1(), window_);
    screen_reader_names_ = std::make_unique<ScreenReaderNames>(form1(), controls_);
}

void Form1Window::bind_commands() {
    for (const CommandBinding& bound : button_commands(form1())) {
        commands_by_id_.emplace(GetDlgCtrlID(named(controls_, bound.control)), bound.command);
    }
}

void Form1Window::apply_scale(UINT dpi) {
    scale_ = Scale(dpi);
    std::map<Font, OwnedFont> fonts;
    for (const Control& control : form1().controls) {
        const Font& font = control.font.value_or(form1().font);
        auto [scaled, made] = fonts.try_emplace(font);
        if (made) {
            scaled->second = create_font(scale_, font);
        }
        SendMessageW(named(controls_, control.name), WM_SETFONT,
                     reinterpret_cast<WPARAM>(scaled->second.get()), FALSE);
    }
    // The fonts of the old scale go only now that no control uses them.
    fonts_ = std::move(fonts);
    place_controls(form1(), controls_, scale_);
    InvalidateRect(window_, nullptr, TRUE);
}

void Form1Window::on_command(int id, int notification) {
    if (id == IDOK) {
        // Enter: the dialog keys send it when no button is the default one.
        press_focused_button();
        return;
    }
    const auto bound = commands_by_id_.find(id);
    if (bound != commands_by_id_.end() && notification == BN_CLICKED) {
        run_command(commands_, bound->second, *this);
    }
}

void Form1Window::press_focused_button() {
    const HWND focus = GetFocus();
    const Control* control = control_of(focus);
    if (control != nullptr && control->kind == ControlKind::button) {
        SendMessageW(focus, BM_CLICK, 0, 0);
    }
}

bool Form1Window::on_erase_background(HDC dc) {
    RECT client{};
    GetClientRect(window_, &client);
    FillRect(dc, &client, brush_for(to_colorref(classic_rgb(form1().background))));
    return true;
}

LRESULT Form1Window::on_control_colour(HDC dc, HWND child) {
    const Control* control = control_of(child);
    if (control == nullptr || !control->background) {
        return DefWindowProcW(window_, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                              reinterpret_cast<LPARAM>(child));
    }
    const COLORREF text = text_colour_of(*control);
    const COLORREF background = resolve_colour(*control->background, text);
    SetTextColor(dc, text);
    SetBkColor(dc, background);
    return reinterpret_cast<LRESULT>(brush_for(background));
}

bool Form1Window::on_draw_item(const DRAWITEMSTRUCT& item) {
    const Control* control = control_of(item.hwndItem);
    if (control == nullptr) {
        return false;
    }
    const COLORREF text = text_colour_of(*control);
    const COLORREF background =
        control->background ? resolve_colour(*control->background, text) : GetSysColor(COLOR_BTNFACE);
    const HGDIOBJ previous_font =
        SelectObject(item.hDC, reinterpret_cast<HFONT>(SendMessageW(item.hwndItem, WM_GETFONT, 0, 0)));
    if (control->kind == ControlKind::button) {
        draw_button(item, background, text);
    } else if (control->kind == ControlKind::frame) {
        draw_frame(item, background, text, scale_.twips(form1().frame_caption_indent));
    }
    SelectObject(item.hDC, previous_font);
    return true;
}

void Form1Window::on_dpi_changed(UINT dpi, const RECT& suggested) {
    apply_scale(dpi);
    const RECT rect = window_rect_for(form1(), scale_);
    SetWindowPos(window_, nullptr, suggested.left, suggested.top, rect.right - rect.left,
                 rect.bottom - rect.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

void Form1Window::on_destroy() { PostQuitMessage(static_cast<int>(exit_status_)); }

HBRUSH Form1Window::brush_for(COLORREF colour) {
    auto& brush = brushes_[colour];
    if (!brush) {
        brush.reset(CreateSolidBrush(colour));
    }
    return brush.get();
}

const Control* Form1Window::control_of(HWND child) const {
    if (child == nullptr || GetParent(child) != window_) {
        return nullptr;
    }
    return control_of_id(form1(), GetDlgCtrlID(child));
}

std::u16string Form1Window::text1() const { return window_text(named(controls_, form1().parser_input)); }

void Form1Window::set_label3(std::u16string_view caption) {
    const HWND label = named(controls_, form1().announced);
    // NULs take no room in the excerpt, so leaving them out of it afterwards
    // shows the same.
    const std::u16string shown = without_nuls(label_text(caption, text_area_of(label)));
    SetWindowTextW(label, wide(shown));
    screen_reader_names_->announce(label);
    UpdateWindow(label);
}

void Form1Window::show_message(std::u16string_view text) { show_message_box(window_, text); }

void Form1Window::end_program(ExitStatus status) {
    exit_status_ = status;
    DestroyWindow(window_);
}

}  // namespace kavrelo::console::win32
