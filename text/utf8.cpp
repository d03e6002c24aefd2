// SPDX-License-Identifier: MIT
#include "utf8.h"

#include "utf16.h"

#include <cstdint>
#include <cstdio>

namespace kavrelo::text {
namespace {

constexpr char16_t kReplacement = u'\uFFFD';

// Length of the sequence a lead byte opens; 0 for a byte that cannot open one.
int sequence_length(unsigned char lead) {
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 0;
}

std::string escaped(const char* format, std::uint32_t value) {
    char escape[8];
    std::snprintf(escape, sizeof escape, format, static_cast<unsigned>(value));
    return escape;
}

}  // namespace

Utf8Character first_utf8_character(std::string_view bytes) {
    static constexpr std::uint32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
    static constexpr unsigned char kLeadMask[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
    constexpr Utf8Character kStrayByte{std::nullopt, 1};
    const auto lead = static_cast<unsigned char>(bytes[0]);
    const int length = sequence_length(lead);
    if (length == 0 || static_cast<std::size_t>(length) > bytes.size()) {
        return kStrayByte;
    }
    std::uint32_t code_point = lead & kLeadMask[length];
    for (int k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(bytes[static_cast<std::size_t>(k)]);
        if ((next & 0xC0) != 0x80) {
            return kStrayByte;
        }
        code_point = (code_point << 6) | (next & 0x3Fu);
    }
    if (code_point < kMinimum[length] || code_point > 0x10FFFF ||
        (code_point <= 0xFFFF && is_surrogate(static_cast<char16_t>(code_point)))) {
        return kStrayByte;
    }
    return {static_cast<char32_t>(code_point), static_cast<std::size_t>(length)};
}

std::u16string from_utf8(std::string_view bytes) {
    std::u16string text;
    text.reserve(bytes.size());
    while (!bytes.empty()) {
        const Utf8Character character = first_utf8_character(bytes);
        std::uint32_t code_point = character.code_point.value_or(kReplacement);
        if (code_point >= 0x10000) {
            code_point -= 0x10000;
            text += static_cast<char16_t>(0xD800 + (code_point >> 10));
            text += static_cast<char16_t>(0xDC00 + (code_point & 0x3FF));
        } else {
            text += static_cast<char16_t>(code_point);
        }
        bytes.remove_prefix(character.length);
    }
    return text;
}

std::string with_visible_controls(std::string_view bytes) {
    std::string shown;
    shown.reserve(bytes.size());
    while (!bytes.empty()) {
        const Utf8Character character = first_utf8_character(bytes);
        if (!character.code_point) {
            shown += escaped("\\x%02X", static_cast<unsigned char>(bytes[0]));
        } else if (*character.code_point == U'\n' || !is_control(*character.code_point)) {
            shown.append(bytes.substr(0, character.length));
        } else {
            shown += escaped(*character.code_point < 0x80 ? "\\x%02X" : "\\u%04X", *character.code_point);
        }
        bytes.remove_prefix(character.length);
    }
    return shown;
}

std::string markup_escaped(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (const char byte : text) {
        switch (byte) {
            case '&':
                escaped += "&amp;";
                break;
            case '<':
                escaped += "&lt;";
                break;
            case '>':
                escaped += "&gt;";
                break;
            case '"':
                escaped += "&quot;";
                break;
            case '\'':
                escaped += "&#39;";
                break;
            case '\n':
                escaped += "&#10;";
                break;
            default:
                escaped += byte;
        }
    }
    return escaped;
}

std::string to_utf8(std::u16string_view text) {
    std::string bytes;
    bytes.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::uint32_t code_point = text[i];
        if (is_pair_at(text, i)) {
            code_point = code_point_of_pair(text[i], text[i + 1]);
            ++i;
        } else if (is_surrogate(text[i])) {
            code_point = kReplacement;
        }
        if (code_point < 0x80) {
            bytes += static_cast<char>(code_point);
        } else if (code_point < 0x800) {
            bytes += static_cast<char>(0xC0 | (code_point >> 6));
            bytes += static_cast<char>(0x80 | (code_point & 0x3F));
        } else if (code_point < 0x10000) {
            bytes += static_cast<char>(0xE0 | (code_point >> 12));
            bytes += static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
            bytes += static_cast<char>(0x80 | (code_point & 0x3F));
        } else {
            bytes += static_cast<char>(0xF0 | (code_point >> 18));
            bytes += static_cast<char>(0x80 | ((code_point >> 12) & 0x3F));
            bytes += static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
            bytes += static_cast<char>(0x80 | (code_point & 0x3F));
        }
    }
    return bytes;
}

}  // namespace kavrelo::text
