// SPDX-License-Identifier: MIT
// A library whose author forgot extern "C": its entry points are C++
// functions, exported under their mangled names (GCC's _Z10parser_SLRPc and
// the like; see msvc_mangled.def for MSVC's), never under the names the
// console looks for. The parameter is char*, as such an author writes it.
#if defined(_WIN32)
#  include <windows.h>
#  include <oleauto.h>
#  define MANGLED_EXPORT __declspec(dllexport)
#  define MANGLED_CALL __stdcall
#else
#  include <zavlek.h>
#  define MANGLED_EXPORT __attribute__((visibility("default")))
#  define MANGLED_CALL
#endif

MANGLED_EXPORT void MANGLED_CALL mPila() {}

MANGLED_EXPORT void MANGLED_CALL tokeniza() {}

MANGLED_EXPORT BSTR MANGLED_CALL tokeniza2(char* text) {
    return SysAllocStringByteLen(text, SysStringByteLen(reinterpret_cast<BSTR>(text)));
}

MANGLED_EXPORT BSTR MANGLED_CALL parser_SLR(char* text) {
    (void)text;
    return SysAllocStringByteLen("Cadena aceptada", 15);
}
