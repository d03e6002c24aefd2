// SPDX-License-Identifier: MIT
#include "module_path.h"

namespace kavrelo::binding {

std::wstring module_path(HMODULE module) {
    std::wstring path(MAX_PATH, L'\0');
    DWORD length = 0;
    // The system cuts a path too long for the buffer to the buffer's size.
    while ((length = GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()))) ==
           path.size()) {
        path.resize(path.size() * 2);
    }
    path.resize(length);
    return path;
}

}  // namespace kavrelo::binding
