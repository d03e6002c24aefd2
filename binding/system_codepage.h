// SPDX-License-Identifier: MIT
// A Windows code page through the system's own converter.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>
#include <string_view>

namespace kavrelo::binding {

class SystemCodePage {
public:
    explicit SystemCodePage(UINT code_page) noexcept : code_page_(code_page) {}

    // The exact number of bytes encode writes for the text.
    std::size_t length(std::u16string_view text) const;
    std::size_t encode(std::u16string_view text, char* out, std::size_t room) const;
    std::u16string decode(std::string_view bytes) const;

private:
    bool is_utf8() const noexcept { return code_page_ == CP_UTF8; }
    DWORD encoding_flags() const noexcept;

    UINT code_page_;
};

}  // namespace kavrelo::binding
