// SPDX-License-Identifier: MIT
#include "core/cases/case_text.h"

#include <binding/codepage.h>
#include <text/utf8.h>

#include <cstdio>

namespace kavrelo::zavlek_call {
namespace {

int hex_digit(char character) {
    if (character >= '0' && character <= '9') return character - '0';
    if (character >= 'a' && character <= 'f') return character - 'a' + 10;
    if (character >= 'A' && character <= 'F') return character - 'A' + 10;
    return -1;
}

// The character a byte of the code page stands for, as the library's answer
// containing it is shown.
std::u16string code_page_character(unsigned char byte) {
    const char single = static_cast<char>(byte);
    return binding::from_eight_bit(std::string_view(&single, 1));
}

}  // namespace

std::variant<std::u16string, UnknownEscape> meant_text(std::string_view written) {
    std::u16string meant;
    std::size_t column = 1;
    std::size_t plain_from = 0;
    for (std::size_t i = 0; i < written.size();) {
        if (written[i] != '\\') {
            i += text::first_utf8_character(written.substr(i)).length;
            ++column;
            continue;
        }
        meant += text::from_utf8(written.substr(plain_from, i - plain_from));
        const char named = i + 1 < written.size() ? written[i + 1] : '\0';
        std::size_t length = 2;
        if (named == 'n') {
            meant += u'\n';
        } else if (named == 't') {
            meant += u'\t';
        } else if (named == '\\') {
            meant += u'\\';
        } else if (named == 'x' && i + 3 < written.size() && hex_digit(written[i + 2]) >= 0 &&
                   hex_digit(written[i + 3]) >= 0) {
            meant += code_page_character(
                static_cast<unsigned char>(hex_digit(written[i + 2]) * 16 + hex_digit(written[i + 3])));
            length = 4;
        } else {
            const std::size_t shown =
                i + 1 < written.size() ? 1 + text::first_utf8_character(written.substr(i + 1)).length : 1;
            return UnknownEscape{column, std::string(written.substr(i, shown))};
        }
        i += length;
        column += length;
        plain_from = i;
    }
    meant += text::from_utf8(written.substr(plain_from));
    return meant;
}

std::string written_text(std::u16string_view text) {
    std::string written;
    std::size_t plain_from = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t character = text[i];
        if (character != u'\\' && !text::is_control(character)) continue;
        written += text::to_utf8(text.substr(plain_from, i - plain_from));
        plain_from = i + 1;
        if (character == u'\\') {
            written += "\\\\";
        } else if (character == u'\n') {
            written += "\\n";
        } else if (character == u'\t') {
            written += "\\t";
        } else {
            for (const char byte : binding::to_eight_bit(text.substr(i, 1))) {
                char escape[8];
                std::snprintf(escape, sizeof escape, "\\x%02X", static_cast<unsigned char>(byte));
                written += escape;
            }
        }
    }
    return written + text::to_utf8(text.substr(plain_from));
}

}  // namespace kavrelo::zavlek_call
