// SPDX-License-Identifier: MIT
// Where a loaded module's file is (Windows).
#pragma once

#include <windows.h>

#include <string>

namespace kavrelo::binding {

// The full path of a loaded module (of the program for nullptr), however
// long; empty when the system cannot say.
std::wstring module_path(HMODULE module);

}  // namespace kavrelo::binding
