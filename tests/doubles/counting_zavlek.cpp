// SPDX-License-Identifier: MIT
// A Zavlek library that keeps state between calls, as a real one may, and
// fails on chosen texts, for the runs of case files: parser_SLR answers
// "llamada N", N counting its calls since the process loaded it; for
// "choque", or any text with five opening parentheses in a row, it writes
// through a null pointer instead, and for "cuelga" it never returns.
// tokeniza2 returns its argument's bytes as they came.
#include <zavlek.h>

#include <string>
#include <string_view>

namespace {

std::string_view bytes_of(BSTR text) { return {reinterpret_cast<const char*>(text), SysStringByteLen(text)}; }

}  // namespace

extern "C" {

ZAVLEK_API void ZAVLEK_CALL mPila(void) {}

ZAVLEK_API void ZAVLEK_CALL tokeniza(void) {}

ZAVLEK_API BSTR ZAVLEK_CALL tokeniza2(BSTR text) {
    return SysAllocStringByteLen(reinterpret_cast<const char*>(text), SysStringByteLen(text));
}

ZAVLEK_API BSTR ZAVLEK_CALL parser_SLR(BSTR text) {
    static int calls = 0;
    if (bytes_of(text) == "choque" || bytes_of(text).find("(((((") != std::string_view::npos) {
        *static_cast<volatile int*>(nullptr) = 1;
    }
    if (bytes_of(text) == "cuelga") {
        for (volatile bool forever = true; forever;) {
        }
    }
    const std::string answer = "llamada " + std::to_string(++calls);
    return SysAllocStringByteLen(answer.data(), static_cast<unsigned int>(answer.size()));
}
}
