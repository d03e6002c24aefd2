// SPDX-License-Identifier: MIT
// The system's default code page, through the system's own converter.
#include "codepage.h"

#include <text/utf16.h>

#include <windows.h>

#include <climits>
#include <stdexcept>

namespace kavrelo::binding {
namespace {

bool is_utf8_code_page() noexcept { return GetACP() == CP_UTF8; }

// Best-fit would quietly turn '∞' into '8' and 'Ā' into 'A'; a character the
// code page lacks must arrive as its default character instead. UTF-8 lacks
// nothing and takes no flags.
DWORD encoding_flags() noexcept { return is_utf8_code_page() ? 0 : WC_NO_BEST_FIT_CHARS; }

int checked_length(std::size_t size) {
    if (size > static_cast<std::size_t>(INT_MAX)) {
        throw std::length_error(
            "el texto es demasiado largo para el conversor de la página de có"
            "digos del sistema");
    }
    return static_cast<int>(size);
}

// The converter gives one default character per surrogate, two for a
// character outside the Basic Multilingual Plane. The text it is given has
// each such pair as its high surrogate alone, which converts to one default
// character. A UTF-8 code page has them all, and keeps the pairs.
class OneUnitPerCharacter {
public:
    explicit OneUnitPerCharacter(std::u16string_view text) : view_(text) {
        if (is_utf8_code_page()) {
            return;
        }
        std::size_t i = 0;
        while (i + 1 < text.size() && !text::is_pair_at(text, i)) {
            ++i;
        }
        if (i + 1 >= text.size()) {
            return;
        }
        collapsed_.reserve(text.size() - 1);
        collapsed_.assign(text.substr(0, i));
        while (i < text.size()) {
            collapsed_ += text[i];
            i += text::is_pair_at(text, i) ? 2 : 1;
        }
        view_ = collapsed_;
    }

    const wchar_t* data() const noexcept { return reinterpret_cast<const wchar_t*>(view_.data()); }
    int size() const { return checked_length(view_.size()); }

private:
    std::u16string collapsed_;
    std::u16string_view view_;
};

}  // namespace

std::size_t eight_bit_length(std::u16string_view text) {
    if (text.empty()) {
        return 0;
    }
    const OneUnitPerCharacter units(text);
    const int length = WideCharToMultiByte(CP_ACP, encoding_flags(), units.data(), units.size(), nullptr, 0,
                                           nullptr, nullptr);
    if (length <= 0) {
        throw std::runtime_error(
            "el conversor de la página de có"
            "digos del sistema rechazó el texto");
    }
    return static_cast<std::size_t>(length);
}

void encode_eight_bit(std::u16string_view text, char* out, std::size_t length) {
    if (text.empty()) {
        return;
    }
    const OneUnitPerCharacter units(text);
    WideCharToMultiByte(CP_ACP, encoding_flags(), units.data(), units.size(), out, checked_length(length),
                        nullptr, nullptr);
}

std::u16string from_eight_bit(std::string_view bytes) {
    if (bytes.empty()) {
        return {};
    }
    const int size = checked_length(bytes.size());
    const int length = MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, nullptr, 0);
    std::u16string text(static_cast<std::size_t>(length), u'\0');
    MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, reinterpret_cast<wchar_t*>(text.data()), length);
    return text;
}

}  // namespace kavrelo::binding
