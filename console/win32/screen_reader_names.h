// SPDX-License-Identifier: MIT
// Names that screen readers read, where a control's own would mislead: the
// system names a text box after whatever label happens to stand before it,
// and a label after its text. Each control a label stands for is named by
// that label's caption, and the result label carries the answer as its
// description (Active Accessibility annotations, which UI Automation reads
// too).
#pragma once

#include "form_builder.h"

#include <console/form.h>

#include <windows.h>

#include <string_view>
#include <vector>

struct IAccPropServices;

namespace kavrelo::console::win32 {

class ScreenReaderNames {
public:
    ScreenReaderNames(const Form& form, const NamedControls& controls);
    ~ScreenReaderNames();
    ScreenReaderNames(const ScreenReaderNames&) = delete;
    ScreenReaderNames& operator=(const ScreenReaderNames&) = delete;

    // Sets the control's description and tells screen readers it changed.
    void describe(HWND control, std::u16string_view description);

private:
    bool com_started_ = false;
    IAccPropServices* services_ = nullptr;  // none where the system offers no annotations
    std::vector<HWND> annotated_;
};

}  // namespace kavrelo::console::win32
