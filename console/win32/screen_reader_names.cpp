// SPDX-License-Identifier: MIT
#include "screen_reader_names.h"

#include "text.h"

#include <initguid.h>
#include <oleacc.h>

#include <stdexcept>
#include <string>

namespace kavrelo::console::win32 {
namespace {

void set_property(IAccPropServices* services, HWND control, const MSAAPROPID& property,
                  std::u16string_view text) {
    const std::u16string value(text);
    services->SetHwndPropStr(control, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, property,
                             const_cast<LPWSTR>(wide(value)));
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
        const Control* label = nullptr;
        for (const Control& control : form.controls) {
            if (control.name == pair.label) label = &control;
        }
        const auto target = controls.find(pair.control);
        if (label == nullptr || target == controls.end()) {
            throw std::logic_error("the form names an unknown control " + std::string(pair.label) + " or " +
                                   std::string(pair.control));
        }
        set_property(services_, target->second, PROPID_ACC_NAME, label->caption);
        annotated_.push_back(target->second);
    }
}

ScreenReaderNames::~ScreenReaderNames() {
    if (services_ != nullptr) {
        MSAAPROPID properties[] = {PROPID_ACC_NAME, PROPID_ACC_DESCRIPTION};
        for (HWND control : annotated_) {
            services_->ClearHwndProps(control, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, properties,
                                      static_cast<int>(std::size(properties)));
        }
        services_->Release();
    }
    if (com_started_) CoUninitialize();
}

void ScreenReaderNames::describe(HWND control, std::u16string_view description) {
    if (services_ == nullptr) return;
    set_property(services_, control, PROPID_ACC_DESCRIPTION, description);
    NotifyWinEvent(EVENT_OBJECT_DESCRIPTIONCHANGE, control, OBJID_CLIENT, CHILDID_SELF);
}

}  // namespace kavrelo::console::win32
