// SPDX-License-Identifier: MIT
#include "form_builder.h"

#include "text.h"

#include <commctrl.h>

#include <algorithm>
#include <climits>
#include <stdexcept>
#include <string>
#include <vector>

namespace kavrelo::console::win32 {
namespace {

bool is_container(const Form& form, const Control& control) {
    return std::ranges::any_of(form.controls,
                               [&](const Control& other) { return other.parent == control.name; });
}

// Top of the stacking order first: the focus cycle, which the Tab key follows
// in this order, then the labels, then the frames.
std::vector<const Control*> stacking_order(const Form& form) {
    std::vector<const Control*> order = focus_cycle(form);
    std::vector<const Control*> beneath;
    for (const Control& control : form.controls) {
        if (!takes_focus(control.kind)) {
            beneath.push_back(&control);
        }
    }
    std::ranges::stable_sort(beneath, {}, [&](const Control* control) {
        return std::pair(is_container(form, *control), control->tab_index);
    });
    order.insert(order.end(), beneath.begin(), beneath.end());
    return order;
}

struct WindowClass {
    const wchar_t* name;
    DWORD style;
    DWORD extended_style = 0;
};

WindowClass window_class_of(ControlKind kind) {
    constexpr DWORD kChild = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
    switch (kind) {
        case ControlKind::button:
            return {WC_BUTTONW, kChild | WS_TABSTOP | BS_OWNERDRAW};
        case ControlKind::frame:
            return {WC_STATICW, kChild | SS_OWNERDRAW};
        case ControlKind::text_box:
            return {WC_EDITW, kChild | WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE};
        case ControlKind::label:
            // Left-aligned, wrapped at words, cut off at the bottom edge.
            return {WC_STATICW, kChild | SS_LEFT | SS_NOPREFIX};
    }
    throw std::logic_error("unknown control kind");
}

}  // namespace

const Control* control_of_id(const Form& form, int id) noexcept {
    const int row = id - kFirstControlId;
    if (row < 0 || row >= static_cast<int>(form.controls.size())) {
        return nullptr;
    }
    return &form.controls[static_cast<std::size_t>(row)];
}

NamedControls build_form(const Form& form, HWND window) {
    const auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(window, GWLP_HINSTANCE));
    NamedControls controls;
    for (const Control* control : stacking_order(form)) {
        const WindowClass window_class = window_class_of(control->kind);
        const std::u16string caption(control->caption);
        const auto id = static_cast<INT_PTR>(kFirstControlId + (control - form.controls.data()));
        HWND child =
            CreateWindowExW(window_class.extended_style, window_class.name, wide(caption), window_class.style,
                            0, 0, 0, 0, window, reinterpret_cast<HMENU>(id), instance, nullptr);
        if (child == nullptr) {
            // The system's own code, which says why it refused.
            throw std::runtime_error("cannot create control " + std::string(control->name) + " (error " +
                                     std::to_string(GetLastError()) + ")");
        }
        // Each new control goes beneath those made before it.
        SetWindowPos(child, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        if (control->kind == ControlKind::text_box) {
            SendMessageW(child, EM_SETLIMITTEXT, 0x7FFFFFFE, 0);  // no limit of its own
        }
        controls.emplace(control->name, child);
    }
    return controls;
}

void place_controls(const Form& form, const NamedControls& controls, const Scale& scale) {
    for (const Control& control : form.controls) {
        int left = control.left;
        int top = control.top;
        if (!control.parent.empty()) {
            const Control& container = control_named(form, control.parent);
            left += container.left;
            top += container.top;
        }
        SetWindowPos(named(controls, control.name), nullptr, scale.twips(left), scale.twips(top),
                     scale.twips(control.width), scale.twips(control.height), SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

RECT client_rect(const Form& form, const Scale& scale) noexcept {
    return {0, 0, scale.twips(form.client_width), scale.twips(form.client_height)};
}

}  // namespace kavrelo::console::win32
