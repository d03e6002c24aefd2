// SPDX-License-Identifier: MIT
#include "screen_reader_names.h"

#include "text.h"

#include <initguid.h>
#include <oleacc.h>

#include <string>

namespace kavrelo::console::win32 {
namespace {

// UI Automation's live setting, which the system's headers here lack: how
// readers speak a live region's changes. Polite ones wait for the reader to
// finish what it is saying.
constexpr GUID kLiveSettingProperty{
    0xc12bcd8e, 0x2a8e, 0x4950, {0x8a, 0xe7, 0x36, 0x25, 0x11, 0x1d, 0x58, 0xeb}};
constexpr LONG kPolite = 1;

void set_name(IAccPropServices* services, HWND control, std::u16string_view text) {
    const std::u16string value(text);
    services->SetHwndPropStr(control, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, PROPID_ACC_NAME,
                             const_cast<LPWSTR>(wide(value)));
}

void set_polite(IAccPropServices* services, HWND control) {
    VARIANT setting{};
    setting.vt = VT_I4;
    setting.lVal = kPolite;
    services->SetHwndProp(control, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, kLiveSettingProperty,
                          setting);
}

}  // namespace

ScreenReaderNames::ScreenReaderNames(const Form& form, const NamedControls& controls) {
    const HRESULT started = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    com_started_ = SUCCEEDED(started);
    if (FAILED(CoCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER, IID_IAccPropServices,
                                reinterpret_cast<void**>(&services_)))) {
        services_ = nullptr;
        return;
    }
    for (const LabelFor& pair : form.labels) {
        const Control& label = control_named(form, pair.label);
        const HWND target = named(controls, pair.control);
        if (control_named(form, pair.control).kind != ControlKind::label) {
            set_name(services_, target, label.caption);
            annotated_.push_back(target);
        }
    }
    if (!form.announced.empty()) {
        const HWND live_region = named(controls, form.announced);
        set_polite(services_, live_region);
        annotated_.push_back(live_region);
    }
}

ScreenReaderNames::~ScreenReaderNames() {
    if (services_ != nullptr) {
        MSAAPROPID properties[] = {PROPID_ACC_NAME, kLiveSettingProperty};
        for (HWND control : annotated_) {
            services_->ClearHwndProps(control, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, properties,
                                      static_cast<int>(std::size(properties)));
        }
        services_->Release();
    }
    if (com_started_) CoUninitialize();
}

void ScreenReaderNames::announce(HWND live_region) const {
    NotifyWinEvent(EVENT_OBJECT_LIVEREGIONCHANGED, live_region, OBJID_CLIENT, CHILDID_SELF);
}

}  // namespace kavrelo::console::win32
