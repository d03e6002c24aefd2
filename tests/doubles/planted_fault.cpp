// SPDX-License-Identifier: MIT
// A Zavlek library that keeps the contract for most texts and breaks it for
// some, as the libraries fuzz is for do: the fault is planted where only
// inputs of one kind reach it, one fault per build.
//   PLANT_NESTED_CRASH  parser_SLR writes through a null pointer for an expression
//                       nested at least five parentheses deep
//   PLANT_HANG          parser_SLR never returns for a text holding ")("
//   PLANT_LEAK          parser_SLR keeps a copy of a text of more than 1,000 bytes
//                       as a library string of its own, lost at the next call
//   PLANT_ARGUMENT      parser_SLR returns the string it was given when the text
//                       holds a byte above 0x7F
//   PLANT_MEMORY_HOG    parser_SLR takes every block the allocator hands out and
//                       keeps them, for an expression nested at least five
//                       parentheses deep (to be run with its address space
//                       limited)
// With IGNORES_SIGCHLD too (POSIX), loading the library sets SIGCHLD to
// ignored, as a library that starts processes and never waits for them does.
// Every other text is answered with a fresh "Cadena aceptada"; tokeniza2
// answers so too, so that fuzzing it finds nothing.
#include <zavlek.h>

#include <cstdlib>
#include <string_view>

#if defined(IGNORES_SIGCHLD)
#  include <csignal>

namespace {
[[maybe_unused]] const bool sigchld_ignored = std::signal(SIGCHLD, SIG_IGN) != SIG_ERR;
}  // namespace
#endif

namespace {

std::string_view bytes_of(BSTR text) { return {reinterpret_cast<const char*>(text), SysStringByteLen(text)}; }

BSTR accepted() { return SysAllocStringByteLen("Cadena aceptada", 15); }

#if defined(PLANT_NESTED_CRASH) || defined(PLANT_MEMORY_HOG)
// As a recursive-descent parser nests its calls, one per open parenthesis.
int deepest_nesting(std::string_view text) {
    int depth = 0;
    int deepest = 0;
    for (const char byte : text) {
        if (byte == '(' && ++depth > deepest) deepest = depth;
        if (byte == ')' && depth > 0) --depth;
    }
    return deepest;
}
#endif

#if defined(PLANT_MEMORY_HOG)
// Every block taken, chained through its first bytes where the compiler must
// leave them: a node of a list grown without end, as a parser that never
// frees one does.
void* volatile hoard = nullptr;

void take_every_block() {
    for (std::size_t size = std::size_t{1} << 30; size >= sizeof(void*); size /= 2) {
        while (void* const block = std::malloc(size)) {
            *static_cast<void**>(block) = hoard;
            hoard = block;
        }
    }
}
#endif

#if defined(PLANT_ARGUMENT)
bool beyond_ascii(std::string_view text) {
    for (const char byte : text) {
        if (static_cast<unsigned char>(byte) > 0x7F) return true;
    }
    return false;
}
#endif

}  // namespace

extern "C" {

ZAVLEK_API void ZAVLEK_CALL mPila(void) {}

ZAVLEK_API void ZAVLEK_CALL tokeniza(void) {}

ZAVLEK_API BSTR ZAVLEK_CALL tokeniza2(BSTR) { return accepted(); }

ZAVLEK_API BSTR ZAVLEK_CALL parser_SLR(BSTR text) {
    [[maybe_unused]] const std::string_view bytes = bytes_of(text);
#if defined(PLANT_NESTED_CRASH)
    if (deepest_nesting(bytes) >= 5) *static_cast<volatile int*>(nullptr) = 1;
#elif defined(PLANT_HANG)
    if (bytes.find(")(") != std::string_view::npos) {
        for (volatile bool forever = true; forever;) {
        }
    }
#elif defined(PLANT_LEAK)
    if (bytes.size() > 1000) {
        // Stored where the compiler must leave it, then forgotten at the next call.
        [[maybe_unused]] static BSTR volatile copy;
        copy = SysAllocStringByteLen(bytes.data(), static_cast<unsigned int>(bytes.size()));
    }
#elif defined(PLANT_ARGUMENT)
    if (beyond_ascii(bytes)) return text;
#elif defined(PLANT_MEMORY_HOG)
    if (deepest_nesting(bytes) >= 5) take_every_block();
#endif
    return accepted();
}
}
