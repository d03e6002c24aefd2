// SPDX-License-Identifier: MIT
// UTF-8, as system messages, exception texts, command lines and standard
// streams carry text, to and from the program's UTF-16.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace kavrelo::text {

// The character that UTF-8 bytes (not empty) start with and how many bytes
// it takes; where no well-formed sequence starts, no character and one byte.
struct Utf8Character {
    std::optional<char32_t> code_point;
    std::size_t length;
};
Utf8Character first_utf8_character(std::string_view bytes);

// The bytes without the byte order mark that some editors write at the start
// of a UTF-8 file.
constexpr std::string_view without_byte_order_mark(std::string_view bytes) noexcept {
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    return bytes.starts_with(kByteOrderMark) ? bytes.substr(kByteOrderMark.size()) : bytes;
}

// Malformed sequences become U+FFFD, one per offending byte.
std::u16string from_utf8(std::string_view bytes);

// The controls of C0, DEL and C1: characters a terminal acts on rather than
// shows.
constexpr bool is_control(char32_t code_point) noexcept {
    return code_point < 0x20 || (code_point >= 0x7F && code_point <= 0x9F);
}

// Text from elsewhere (a file name, a system message) made fit for a
// terminal: line breaks kept, every other control written as \x1B or
// \u009D and every byte that is not UTF-8 as \xE9, so that none can drive
// the terminal.
std::string with_visible_controls(std::string_view bytes);

// Text for HTML or XML, element content and quoted attribute values alike:
// the characters markup reads escaped, and line breaks written as &#10;,
// which an attribute would otherwise fold into a space.
std::string markup_escaped(std::string_view text);

// A lone surrogate becomes U+FFFD.
std::string to_utf8(std::u16string_view text);

#if defined(_WIN32)
// The system's wide strings are UTF-16 too.
inline std::wstring wide_from_utf8(std::string_view bytes) {
    const std::u16string units = from_utf8(bytes);
    return {units.begin(), units.end()};
}

inline std::string utf8_from_wide(std::wstring_view text) {
    return to_utf8({reinterpret_cast<const char16_t*>(text.data()), text.size()});
}
#endif

}  // namespace kavrelo::text
