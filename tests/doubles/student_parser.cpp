// SPDX-License-Identifier: MIT
// A recursive-descent parser written in C++ the way a student writes one
// from include/zavlek.h: a token list, one function per rule, std::stoi for
// the numbers. Built as it is, it keeps the contract; built with
//   LETS_EXCEPTIONS_OUT  nothing catches what std::stoi throws, so a number
//                        beyond int (99999999999) lets std::out_of_range out
//                        of parser_SLR
#include <zavlek.h>

#include <cctype>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

struct Token {
    enum class Kind { number, name, symbol } kind;
    std::string text;
    std::size_t position;  // from 1, in bytes
};

std::vector<Token> tokens_of(const std::string& text) {
    std::vector<Token> tokens;
    std::size_t i = 0;
    while (i < text.size()) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const std::size_t start = i;
        if (std::isspace(c)) {
            ++i;
        } else if (std::isdigit(c)) {
            while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) ++i;
            tokens.push_back({Token::Kind::number, text.substr(start, i - start), start + 1});
        } else if (std::isalpha(c)) {
            while (i < text.size() && std::isalnum(static_cast<unsigned char>(text[i]))) ++i;
            tokens.push_back({Token::Kind::name, text.substr(start, i - start), start + 1});
        } else {
            tokens.push_back({Token::Kind::symbol, std::string(1, text[i++]), start + 1});
        }
    }
    return tokens;
}

class Parser {
public:
    explicit Parser(std::vector<Token> tokens) : tokens_(std::move(tokens)) {}

    std::string parse() {
        if (!expression() || next_ < tokens_.size()) return error();
        return "Cadena aceptada";
    }

private:
    bool is(const char* symbol) const {
        return next_ < tokens_.size() && tokens_[next_].kind == Token::Kind::symbol &&
               tokens_[next_].text == symbol;
    }
    std::string error() const {
        const std::size_t at = next_ < tokens_.size() ? tokens_[next_].position : 0;
        return "Error de sintaxis en la posici\xF3n " + std::to_string(at);
    }
    bool expression() {
        if (!term()) return false;
        while (is("+") || is("-")) {
            ++next_;
            if (!term()) return false;
        }
        return true;
    }
    bool term() {
        if (!factor()) return false;
        while (is("*") || is("/")) {
            ++next_;
            if (!factor()) return false;
        }
        return true;
    }
    bool factor() {
        if (next_ == tokens_.size()) return false;
        const Token& token = tokens_[next_];
        if (token.kind == Token::Kind::number) {
            last_value_ = std::stoi(token.text);
            ++next_;
            return true;
        }
        if (token.kind == Token::Kind::name) {
            ++next_;
            return true;
        }
        if (!is("(")) return false;
        ++next_;
        if (!expression() || !is(")")) return false;
        ++next_;
        return true;
    }

    std::vector<Token> tokens_;
    std::size_t next_ = 0;
    int last_value_ = 0;
};

BSTR answer(const std::string& text) {
    return SysAllocStringByteLen(text.data(), static_cast<unsigned int>(text.size()));
}

std::string parsed(BSTR text) {
    const std::string bytes(reinterpret_cast<const char*>(text), SysStringByteLen(text));
#if defined(LETS_EXCEPTIONS_OUT)
    return Parser(tokens_of(bytes)).parse();
#else
    try {
        return Parser(tokens_of(bytes)).parse();
    } catch (const std::out_of_range&) {
        return "Error: n\xFAmero demasiado grande";
    }
#endif
}

}  // namespace

extern "C" {

ZAVLEK_API void ZAVLEK_CALL mPila(void) {}

ZAVLEK_API void ZAVLEK_CALL tokeniza(void) {}

ZAVLEK_API BSTR ZAVLEK_CALL tokeniza2(BSTR text) {
    std::string listed;
    for (const Token& token :
         tokens_of(std::string(reinterpret_cast<const char*>(text), SysStringByteLen(text)))) {
        listed += (listed.empty() ? "" : " ") + token.text;
    }
    return answer(listed);
}

ZAVLEK_API BSTR ZAVLEK_CALL parser_SLR(BSTR text) { return answer(parsed(text)); }
}
