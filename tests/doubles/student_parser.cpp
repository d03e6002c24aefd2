// SPDX-License-Identifier: MIT
// A recursive-descent parser written in C++ the way a student writes one
// from include/zavlek.h: a token list, one function per rule, std::stoi for
// the numbers. Built as it is, it keeps the contract (nesting beyond
// kDeepest is answered as an error); built with
//   LETS_EXCEPTIONS_OUT    nothing catches what std::stoi throws, so a number
//                          beyond int (99999999999) lets std::out_of_range out
//                          of parser_SLR
//   PAIRS_PARENTHESES      each ")" notes where its "(" was with
//                          opened.back(), which a ")" with none before it
//                          reads from an empty vector: a crash
//   RECURSES_WITHOUT_LIMIT no depth limit: a million "(" use up the stack
//   LOOPS_ON_A_BARE_POINT  the fraction's digits are awaited after a point
//                          that has none: "1." never returns
//   KEEPS_A_COPY           each answer is built from a std::string made with
//                          new and never deleted: 32 bytes lost per call
#include <zavlek.h>

#include <cctype>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// Deeper nesting is answered as an error: every level is a call.
constexpr int kDeepest = 1000;

struct Token {
    enum class Kind { number, name, symbol } kind;
    std::string text;
    std::size_t position;     // from 1, in bytes
    std::size_t partner = 0;  // of a ")", the token index of its "("
};

// A number's fraction, if a point and digits follow: where the number ends.
std::size_t fraction_end(const std::string& text, std::size_t i) {
#if defined(LOOPS_ON_A_BARE_POINT)
    while (i < text.size() && text[i] == '.') {
        std::size_t j = i + 1;
        while (j < text.size() && std::isdigit(static_cast<unsigned char>(text[j]))) ++j;
        if (j > i + 1) i = j;
    }
#else
    if (i + 1 < text.size() && text[i] == '.' && std::isdigit(static_cast<unsigned char>(text[i + 1]))) {
        ++i;
        while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) ++i;
    }
#endif
    return i;
}

std::vector<Token> tokens_of(const std::string& text) {
    std::vector<Token> tokens;
#if defined(PAIRS_PARENTHESES)
    std::vector<std::size_t> opened;
#endif
    std::size_t i = 0;
    while (i < text.size()) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const std::size_t start = i;
        if (std::isspace(c)) {
            ++i;
        } else if (std::isdigit(c)) {
            while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) ++i;
            i = fraction_end(text, i);
            tokens.push_back({Token::Kind::number, text.substr(start, i - start), start + 1});
        } else if (std::isalpha(c)) {
            while (i < text.size() && std::isalnum(static_cast<unsigned char>(text[i]))) ++i;
            tokens.push_back({Token::Kind::name, text.substr(start, i - start), start + 1});
        } else {
            tokens.push_back({Token::Kind::symbol, std::string(1, text[i++]), start + 1});
#if defined(PAIRS_PARENTHESES)
            if (c == '(') opened.push_back(tokens.size() - 1);
            if (c == ')') {
                tokens.back().partner = opened.back();
                opened.pop_back();
            }
#endif
        }
    }
    return tokens;
}

class Parser {
public:
    explicit Parser(std::vector<Token> tokens) : tokens_(std::move(tokens)) {}

    std::string parse() {
        if (!expression() || next_ < tokens_.size()) {
            return too_deep_ ? "Error: m\xE1s de " + std::to_string(kDeepest) + " par\xE9ntesis anidados"
                             : error();
        }
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
#if !defined(RECURSES_WITHOUT_LIMIT)
        if (depth_ == kDeepest) {
            too_deep_ = true;
            return false;
        }
#endif
        ++next_;
        ++depth_;
        if (!expression() || !is(")")) return false;
        --depth_;
        ++next_;
        return true;
    }

    std::vector<Token> tokens_;
    std::size_t next_ = 0;
    int depth_ = 0;
    bool too_deep_ = false;
    int last_value_ = 0;
};

BSTR answer(const std::string& text) {
#if defined(KEEPS_A_COPY)
    const std::string* copy = new std::string(text);
    return SysAllocStringByteLen(copy->data(), static_cast<unsigned int>(copy->size()));
#else
    return SysAllocStringByteLen(text.data(), static_cast<unsigned int>(text.size()));
#endif
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

#if defined(ANSWERS_ITS_C_STR)
// The characters of a std::string of its own, which end with the function.
ZAVLEK_API BSTR ZAVLEK_CALL parser_SLR(BSTR text) {
    const std::string result = parsed(text);
    return reinterpret_cast<BSTR>(const_cast<char*>(result.c_str()));
}
#else
ZAVLEK_API BSTR ZAVLEK_CALL parser_SLR(BSTR text) { return answer(parsed(text)); }
#endif
}
