// SPDX-License-Identifier: MIT
// Surrogates of UTF-16, the program's text: a character outside the Basic
// Multilingual Plane is a high surrogate followed by a low one; either alone
// is a lone surrogate, which stands for no character.
#pragma once

#include <cstddef>
#include <string_view>

namespace kavrelo::text {

constexpr bool is_high_surrogate(char16_t unit) noexcept { return unit >= 0xD800 && unit <= 0xDBFF; }
constexpr bool is_low_surrogate(char16_t unit) noexcept { return unit >= 0xDC00 && unit <= 0xDFFF; }
constexpr bool is_surrogate(char16_t unit) noexcept { return (unit & 0xF800) == 0xD800; }

// Whether a surrogate pair starts at unit i.
constexpr bool is_pair_at(std::u16string_view text, std::size_t i) noexcept {
    return is_high_surrogate(text[i]) && i + 1 < text.size() && is_low_surrogate(text[i + 1]);
}

// The character a pair stands for.
constexpr char32_t code_point_of_pair(char16_t high, char16_t low) noexcept {
    return 0x10000 + ((static_cast<char32_t>(high) - 0xD800) << 10) + (static_cast<char32_t>(low) - 0xDC00);
}

// Whether unit i is the second half of a pair.
constexpr bool ends_pair_at(std::u16string_view text, std::size_t i) noexcept {
    return i > 0 && is_low_surrogate(text[i]) && is_high_surrogate(text[i - 1]);
}

}  // namespace kavrelo::text
