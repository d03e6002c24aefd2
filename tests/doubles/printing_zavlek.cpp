// SPDX-License-Identifier: MIT
// A Zavlek library that debugs itself as students do, by printing: what
// parser_SLR prints depends on its text, and it answers "hecho".
//   printf    a line with printf
//   stderr    a line with fprintf on standard error
//   cout      a line with std::cout, never flushed
//   mezcla    all three, a piece of a line each
//   largo     more than 4 KB, a two-byte character across the 4 KB mark
//   invalido  bytes that are no UTF-8, and a control
//   choque    a line, then a write through a null pointer
// Any other text, and the other entry points, print nothing.
#include <zavlek.h>

#include <cstdio>
#include <iostream>
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
    const std::string_view asked = bytes_of(text);
    if (asked == "printf") {
        std::printf("printf: %d\n", 42);
    } else if (asked == "stderr") {
        std::fprintf(stderr, "en stderr: ñandú\n");
    } else if (asked == "cout") {
        std::cout << "cout sin vaciar\n";
    } else if (asked == "mezcla") {
        std::printf("uno ");
        std::fprintf(stderr, "dos ");
        std::cout << "tres\n";
    } else if (asked == "largo") {
        std::printf("%s\xC3\xA9%s", std::string(4095, 'x').c_str(), std::string(1000, 'y').c_str());
    } else if (asked == "invalido") {
        std::printf("\xFF\x01 fin\n");
    } else if (asked == "choque") {
        std::printf("antes del choque\n");
        *static_cast<volatile int*>(nullptr) = 1;
    }
    return SysAllocStringByteLen("hecho", 5);
}
}
