// SPDX-License-Identifier: MIT
// The system's default code page: Windows-1252 by the project's own tables,
// which agree with the system's converter and cost a fraction of it; any
// other code page through the system's converter.
#include "codepage.h"
#include "codepage_text.h"
#include "cp1252.h"
#include "system_codepage.h"

#include <text/utf16.h>

#include <climits>
#include <stdexcept>

namespace kavrelo::binding {
namespace {

constexpr UINT kWestern = 1252;

bool by_table() noexcept {
    static const bool western = GetACP() == kWestern;
    return western;
}

const SystemCodePage& system_code_page() noexcept {
    static const SystemCodePage page(GetACP());
    return page;
}

int checked_length(std::size_t size) {
    if (size > static_cast<std::size_t>(INT_MAX)) {
        throw std::length_error(
            "el texto es demasiado largo para el conversor de la página de códigos del sistema");
    }
    return static_cast<int>(size);
}

// The converter gives one default character per surrogate, two for a
// character outside the Basic Multilingual Plane. The text it is given has
// each such pair as its high surrogate alone, which converts to one default
// character. A UTF-8 code page has them all, and keeps the pairs.
class OneUnitPerCharacter {
public:
    OneUnitPerCharacter(std::u16string_view text, bool keep_pairs) : view_(text) {
        if (keep_pairs) {
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

// Best-fit would quietly turn '∞' into '8' and 'Ā' into 'A'; a character the
// code page lacks must arrive as its default character instead. UTF-8 lacks
// nothing and takes no flags.
DWORD SystemCodePage::encoding_flags() const noexcept { return is_utf8() ? 0 : WC_NO_BEST_FIT_CHARS; }

std::size_t SystemCodePage::length(std::u16string_view text) const {
    if (text.empty()) {
        return 0;
    }
    const OneUnitPerCharacter units(text, is_utf8());
    const int length = WideCharToMultiByte(code_page_, encoding_flags(), units.data(), units.size(), nullptr,
                                           0, nullptr, nullptr);
    if (length <= 0) {
        throw std::runtime_error("el conversor de la página de códigos del sistema rechazó el texto");
    }
    return static_cast<std::size_t>(length);
}

std::size_t SystemCodePage::encode(std::u16string_view text, char* out, std::size_t room) const {
    if (text.empty()) {
        return 0;
    }
    const OneUnitPerCharacter units(text, is_utf8());
    const int written = WideCharToMultiByte(code_page_, encoding_flags(), units.data(), units.size(), out,
                                            checked_length(room), nullptr, nullptr);
    return written > 0 ? static_cast<std::size_t>(written) : 0;
}

std::u16string SystemCodePage::decode(std::string_view bytes) const {
    if (bytes.empty()) {
        return {};
    }
    const int size = checked_length(bytes.size());
    const int length = MultiByteToWideChar(code_page_, 0, bytes.data(), size, nullptr, 0);
    return written_text(static_cast<std::size_t>(length), [&](char16_t* out) noexcept {
        MultiByteToWideChar(code_page_, 0, bytes.data(), size, reinterpret_cast<wchar_t*>(out), length);
    });
}

std::size_t eight_bit_room(std::u16string_view text) {
    return by_table() ? text.size() : system_code_page().length(text);
}

std::size_t encode_eight_bit(std::u16string_view text, char* out, std::size_t room) {
    return by_table() ? cp1252::encode(text, out) : system_code_page().encode(text, out, room);
}

std::u16string from_eight_bit(std::string_view bytes) {
    return by_table() ? cp1252::decode(bytes) : system_code_page().decode(bytes);
}

}  // namespace kavrelo::binding
