// SPDX-License-Identifier: MIT
// Arbitrary bytes into tokeniza2 and parser_SLR, as the console hands them
// over; the parser's verdict is checked against a recursive-descent
// recogniser of the same grammar.
#include <zavlek.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

// E -> T {(+|-) T}, T -> F {(*|/) F}, F -> ( E ) | num | id, blanks skipped.
class Recogniser {
public:
    explicit Recogniser(std::string_view text) : text_(text) {}

    bool accepts() { return expression() && (skip(), at_ == text_.size()); }

private:
    void skip() {
        while (at_ < text_.size() &&
               (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\r' || text_[at_] == '\n'))
            ++at_;
    }
    bool take(char c) {
        skip();
        if (at_ < text_.size() && text_[at_] == c) {
            ++at_;
            return true;
        }
        return false;
    }
    static bool digit(char c) { return c >= '0' && c <= '9'; }
    static bool letter(char c) {
        const auto u = static_cast<unsigned char>(c);
        return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || u == '_' ||
               (u >= 0xC0 && u != 0xD7 && u != 0xF7);
    }
    bool factor() {
        if (take('(')) return expression() && take(')');
        skip();
        if (at_ < text_.size() && digit(text_[at_])) {
            while (at_ < text_.size() && digit(text_[at_])) ++at_;
            if (at_ + 1 < text_.size() && text_[at_] == '.' && digit(text_[at_ + 1])) {
                ++at_;
                while (at_ < text_.size() && digit(text_[at_])) ++at_;
            }
            return true;
        }
        if (at_ < text_.size() && letter(text_[at_])) {
            while (at_ < text_.size() && (letter(text_[at_]) || digit(text_[at_]))) ++at_;
            return true;
        }
        return false;
    }
    bool term() {
        if (!factor()) return false;
        while (take('*') || take('/')) {
            if (!factor()) return false;
        }
        return true;
    }
    bool expression() {
        if (!term()) return false;
        while (take('+') || take('-')) {
            if (!term()) return false;
        }
        return true;
    }

    std::string_view text_;
    std::size_t at_ = 0;
};

std::string_view bytes_of(BSTR string) {
    return {reinterpret_cast<const char*>(string), SysStringByteLen(string)};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const BSTR argument =
        SysAllocStringByteLen(reinterpret_cast<const char*>(data), static_cast<unsigned int>(size));

    const BSTR tokens = tokeniza2(argument);
    if (tokens == nullptr || bytes_of(tokens).find("componente") == std::string_view::npos) std::abort();
    SysFreeString(tokens);

    const BSTR verdict = parser_SLR(argument);
    if (verdict == nullptr) std::abort();
    const bool accepted = bytes_of(verdict) == "Cadena aceptada";
    if (!accepted && bytes_of(verdict).rfind("Error ", 0) != 0) std::abort();
    if (accepted != Recogniser(bytes_of(argument)).accepts()) std::abort();
    SysFreeString(verdict);

    SysFreeString(argument);
    return 0;
}
