// SPDX-License-Identifier: MIT
// What screen readers read of the controls, where the system's own account
// would mislead or stay silent. The system names a text box after whatever
// label happens to stand before it: each control a label stands for is named
// by that label's caption, except a label, whose name is what it shows. And
// readers speak the changes of the focused control alone: the label whose
// new texts are announced is a polite live region, which readers read again
// each time it says it changed. (Active Accessibility annotations, which UI
// Automation reads too.)
#pragma once

#include "form_builder.h"

#include <console/form.h>

#include <windows.h>

#include <vector>

struct IAccPropServices;

namespace kavrelo::console::win32 {

class ScreenReaderNames {
public:
    // Throws std::logic_error for a label pair or an announced label that
    // names no control.
    ScreenReaderNames(const Form& form, const NamedControls& controls);
    ~ScreenReaderNames();
    ScreenReaderNames(const ScreenReaderNames&) = delete;
    ScreenReaderNames& operator=(const ScreenReaderNames&) = delete;

    // Tells screen readers that the live region shows a new text, even one
    // that is the same as before; they read its name, which is that text.
    void announce(HWND live_region) const;

private:
    bool com_started_ = false;
    IAccPropServices* services_ = nullptr;  // none where the system offers no annotations
    std::vector<HWND> annotated_;
};

}  // namespace kavrelo::console::win32
