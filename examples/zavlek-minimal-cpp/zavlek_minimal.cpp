// SPDX-License-Identifier: MIT
// The smallest complete Zavlek library in C++. What C++ adds to the C
// template:
//   - the entry points are extern "C": the console finds them by their plain
//     names, which C++ would otherwise decorate with their types;
//   - no exception leaves an entry point: the console that calls it is not
//     C++ and cannot catch one, so each entry point catches everything and
//     answers with what went wrong;
//   - every answer is a fresh string from SysAllocStringByteLen, never a
//     std::string's c_str(), which is gone when the function returns.
// Text is 8-bit (Windows-1252 on Linux, the system's ANSI code page on
// Windows). Check it with: zavlek-call --library FILE check
#define ZAVLEK_BUILDING_LIBRARY
#include <zavlek.h>

#include <cstdio>
#include <exception>
#include <stdexcept>
#include <string>
#include <string_view>

namespace {

std::string_view bytes_of(BSTR text) { return {reinterpret_cast<const char*>(text), SysStringByteLen(text)}; }

BSTR fresh_string(const std::string& text) {
    return SysAllocStringByteLen(text.data(), static_cast<unsigned int>(text.size()));
}

// The work of an entry point, whatever it throws said as its answer.
template <class Work>
BSTR answer_of(Work work) noexcept {
    try {
        return fresh_string(work());
    } catch (const std::exception& error) {
        return SysAllocStringByteLen(error.what(),
                                     static_cast<unsigned int>(std::char_traits<char>::length(error.what())));
    } catch (...) {
        return SysAllocStringByteLen("Error interno", 13);
    }
}

bool is_digit(char byte) { return byte >= '0' && byte <= '9'; }

// Only checks that the numbers fit in 64 bits and that the parentheses pair
// up: where a real parser would start. std::stoll throws for a number too
// big, as library code throws; answer_of turns it into an answer.
std::string checked(std::string_view text) {
    long depth = 0;
    for (std::size_t i = 0; i < text.size() && depth >= 0; ++i) {
        if (is_digit(text[i])) {
            std::size_t end = i;
            while (end < text.size() && is_digit(text[end])) ++end;
            try {
                std::stoll(std::string(text.substr(i, end - i)));
            } catch (const std::out_of_range&) {
                return "Error l\xE9xico en la posici\xF3n " + std::to_string(i + 1) +
                       ": el n\xFAmero es demasiado grande";
            }
            i = end - 1;
        }
        depth += (text[i] == '(') - (text[i] == ')');
    }
    if (depth > 0) return "Error de sintaxis: falta cerrar un par\xE9ntesis";
    if (depth < 0) return "Error de sintaxis: un par\xE9ntesis cierra sin haberse abierto";
    return "Cadena aceptada";
}

}  // namespace

extern "C" {

ZAVLEK_API void ZAVLEK_CALL mPila(void) { std::fputs("mPila: nada que probar\n", stderr); }

ZAVLEK_API void ZAVLEK_CALL tokeniza(void) { std::fputs("tokeniza: nada que mostrar\n", stderr); }

// Counts the fields between the '|' of the text.
ZAVLEK_API BSTR ZAVLEK_CALL tokeniza2(BSTR text) {
    return answer_of([text] {
        std::size_t fields = 1;
        for (const char byte : bytes_of(text)) fields += byte == '|';
        return std::to_string(fields) + " campos";
    });
}

ZAVLEK_API BSTR ZAVLEK_CALL parser_SLR(BSTR text) {
    return answer_of([text] { return checked(bytes_of(text)); });
}

}  // extern "C"
