// SPDX-License-Identifier: MIT
// Splits 8-bit text (Windows-1252) into tokens. Spaces, tabs and line ends
// separate tokens and are otherwise ignored; any other byte that starts no
// token is an error token of its own.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zavlek {

enum class TokenKind { number, identifier, plus, minus, times, divide, open, close, separator, error, end };

struct Token {
    TokenKind kind;
    std::size_t position;  // of its first byte, from 1
    std::string_view text;
};

class Lexer {
public:
    explicit Lexer(std::string_view text) : text_(text) {}

    // The next token; an end token, over and over, once the text is used up.
    Token next();

private:
    std::string_view text_;
    std::size_t at_ = 0;
};

// An error token's character as answers show it, in Windows-1252: quoted when
// it prints, by its code otherwise ("código 7").
std::string shown_character(const Token& token);

// Short Spanish name of a token kind, as token lists show it.
std::string_view kind_label(TokenKind kind);

}  // namespace zavlek
