// A Zavlek library that breaks the contract in one way, chosen when it is
// built, and keeps it otherwise; the contract check must name the one fault.
//   BREAK_CRASH     parser_SLR writes through a null pointer
//   BREAK_HANG      parser_SLR never returns for a text of spaces only
//   BREAK_ARGUMENT  parser_SLR returns the string it was given
//   BREAK_LITERAL   parser_SLR returns a string constant of the library
//   BREAK_LEAK      parser_SLR leaves a kilobyte behind at every call
//   BREAK_KEEP      parser_SLR returns one string it keeps, every time
// Built with none of them, it keeps the whole contract and answers at once,
// which is what the call benchmark measures against.
#include <zavlek.h>

#include <cstdlib>
#include <cstring>

namespace {

BSTR accepted() { return SysAllocStringByteLen("Cadena aceptada", 15); }

#if defined(BREAK_HANG)
bool only_spaces(BSTR text) {
    const char* bytes = reinterpret_cast<const char*>(text);
    const unsigned int count = SysStringByteLen(text);
    for (unsigned int i = 0; i < count; ++i) {
        if (bytes[i] != ' ') return false;
    }
    return true;
}
#endif

}  // namespace

extern "C" {

ZAVLEK_API void ZAVLEK_CALL mPila(void) {}

ZAVLEK_API void ZAVLEK_CALL tokeniza(void) {}

ZAVLEK_API BSTR ZAVLEK_CALL tokeniza2(BSTR) { return accepted(); }

ZAVLEK_API BSTR ZAVLEK_CALL parser_SLR(BSTR text) {
#if defined(BREAK_CRASH)
    static_cast<void>(text);
    *static_cast<volatile int*>(nullptr) = 1;
    return accepted();
#elif defined(BREAK_HANG)
    if (only_spaces(text)) {
        for (volatile bool forever = true; forever;) {
        }
    }
    return accepted();
#elif defined(BREAK_ARGUMENT)
    return text;
#elif defined(BREAK_LITERAL)
    static_cast<void>(text);
    static const char constant[] = "\x0F\0\0\0Cadena aceptada";
    return reinterpret_cast<BSTR>(const_cast<char*>(constant + 4));
#elif defined(BREAK_LEAK)
    static_cast<void>(text);
    // Stored where the compiler must leave it, then forgotten at the next call.
    static void* volatile lost;
    lost = std::malloc(1024);
    std::memset(lost, 0x5A, 1024);
    return accepted();
#elif defined(BREAK_KEEP)
    static_cast<void>(text);
    static BSTR kept = accepted();
    return kept;
#else
    static_cast<void>(text);
    return accepted();
#endif
}
}
