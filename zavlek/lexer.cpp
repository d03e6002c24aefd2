// SPDX-License-Identifier: MIT
#include "lexer.h"

#include <array>

namespace zavlek {
namespace {

enum ByteClass : unsigned char { other, blank, digit, letter, single };

constexpr std::array<ByteClass, 256> make_classes() {
    std::array<ByteClass, 256> classes{};
    for (int c = '0'; c <= '9'; ++c) classes[c] = digit;
    for (int c = 'a'; c <= 'z'; ++c) classes[c] = letter;
    for (int c = 'A'; c <= 'Z'; ++c) classes[c] = letter;
    classes['_'] = letter;
    // The accented letters of Windows-1252, without the multiplication and
    // division signs that sit among them.
    for (int c = 0xC0; c <= 0xFF; ++c) classes[c] = letter;
    classes[0xD7] = other;
    classes[0xF7] = other;
    for (const char c : {' ', '\t', '\r', '\n'}) classes[static_cast<unsigned char>(c)] = blank;
    for (const char c : {'+', '-', '*', '/', '(', ')', '|'}) classes[static_cast<unsigned char>(c)] = single;
    return classes;
}

constexpr auto kClasses = make_classes();

ByteClass class_of(char c) { return kClasses[static_cast<unsigned char>(c)]; }

bool is_printable(unsigned char byte) {
    // Controls, the five bytes the code page leaves undefined, the no-break
    // space and the soft hyphen show nothing recognisable.
    return byte >= 0x20 && byte != 0x7F && byte != 0x81 && byte != 0x8D && byte != 0x8F && byte != 0x90 &&
           byte != 0x9D && byte != 0xA0 && byte != 0xAD;
}

TokenKind single_kind(char c) {
    switch (c) {
        case '+':
            return TokenKind::plus;
        case '-':
            return TokenKind::minus;
        case '*':
            return TokenKind::times;
        case '/':
            return TokenKind::divide;
        case '(':
            return TokenKind::open;
        case ')':
            return TokenKind::close;
        default:
            return TokenKind::separator;
    }
}

}  // namespace

Token Lexer::next() {
    const std::size_t size = text_.size();
    while (at_ < size && class_of(text_[at_]) == blank) {
        ++at_;
    }
    if (at_ == size) {
        return {TokenKind::end, size + 1, {}};
    }
    const std::size_t start = at_;
    TokenKind kind = TokenKind::error;
    switch (class_of(text_[at_])) {
        case digit:
            kind = TokenKind::number;
            while (++at_ < size && class_of(text_[at_]) == digit) {
            }
            if (at_ + 1 < size && text_[at_] == '.' && class_of(text_[at_ + 1]) == digit) {
                while (++at_ < size && class_of(text_[at_]) == digit) {
                }
            }
            break;
        case letter:
            kind = TokenKind::identifier;
            while (++at_ < size && (class_of(text_[at_]) == letter || class_of(text_[at_]) == digit)) {
            }
            break;
        case single:
            kind = single_kind(text_[at_++]);
            break;
        default:
            ++at_;
            break;
    }
    return {kind, start + 1, text_.substr(start, at_ - start)};
}

std::string shown_character(const Token& token) {
    const auto byte = static_cast<unsigned char>(token.text.empty() ? 0 : token.text.front());
    if (is_printable(byte)) {
        return "'" + std::string(1, static_cast<char>(byte)) + "'";
    }
    // The letter in octal: a hex escape would take the "d" after it as one
    // more digit.
    return "c\363digo " + std::to_string(byte);
}

std::string_view kind_label(TokenKind kind) {
    switch (kind) {
        case TokenKind::number:
            return "NUM";
        case TokenKind::identifier:
            return "ID";
        case TokenKind::plus:
        case TokenKind::minus:
        case TokenKind::times:
        case TokenKind::divide:
            return "OP";
        case TokenKind::open:
        case TokenKind::close:
            return "PAR";
        case TokenKind::separator:
            return "SEP";
        case TokenKind::error:
            return "ERROR";
        case TokenKind::end:
            return "FIN";
    }
    return "?";
}

}  // namespace zavlek
