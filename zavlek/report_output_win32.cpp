// SPDX-License-Identifier: MIT
#include "report_output.h"

#include <windows.h>

#include <io.h>
#include <algorithm>
#include <climits>
#include <cstdio>
#include <string>

namespace zavlek {
namespace {

// The system's UTF-16 of a UTF-8 text, by the system's own converter: a
// malformed sequence becomes U+FFFD.
std::wstring wide_from_utf8(std::string_view text) {
    const int length = static_cast<int>(std::min<std::size_t>(text.size(), INT_MAX));
    std::wstring wide(
        static_cast<std::size_t>(MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0)), L'\0');
    if (!wide.empty()) {
        MultiByteToWideChar(CP_UTF8, 0, text.data(), length, wide.data(), static_cast<int>(wide.size()));
    }
    return wide;
}

}  // namespace

void write_report_text(std::string_view text) noexcept {
    try {
        // A program of the graphical subsystem has no stream behind stderr
        // unless it was started with one; then the debugger gets the report.
        const intptr_t handle = _get_osfhandle(_fileno(stderr));
        if (handle == -1 || handle == -2) {
            OutputDebugStringW(wide_from_utf8(text).c_str());
            return;
        }
        // A console shows UTF-16 whatever its code page; files and pipes get
        // the UTF-8 bytes as they are.
        DWORD mode = 0;
        if (GetConsoleMode(reinterpret_cast<HANDLE>(handle), &mode)) {
            std::fflush(stderr);
            const std::wstring wide = wide_from_utf8(text);
            DWORD written = 0;
            WriteConsoleW(reinterpret_cast<HANDLE>(handle), wide.data(), static_cast<DWORD>(wide.size()),
                          &written, nullptr);
            return;
        }
        std::fwrite(text.data(), 1, text.size(), stderr);
        std::fflush(stderr);
    } catch (...) {
    }
}

}  // namespace zavlek
