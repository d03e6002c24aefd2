// SPDX-License-Identifier: MIT
// A library whose author forgot __stdcall on 32-bit Windows: its entry points
// are cdecl, so tokeniza2 and parser_SLR leave their 4-byte argument on the
// caller's stack. Exported undecorated (kavrelo_zavlek_library links with
// --kill-at), so nothing but the calling convention is wrong. Elsewhere the
// two conventions are one and this library keeps the contract.
//
// As its author would write it: without zavlek.h, whose declarations would
// give the definitions their __stdcall back.
#if defined(_WIN32)
#  include <windows.h>
#  include <oleauto.h>
#  define CDECL_EXPORT extern "C" __declspec(dllexport)
#else
#  include <zavlek.h>
#  define CDECL_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {
constexpr char kAccepted[] = "Cadena aceptada";
}

CDECL_EXPORT void mPila(void) {}

CDECL_EXPORT void tokeniza(void) {}

CDECL_EXPORT BSTR tokeniza2(BSTR text) {
    return SysAllocStringByteLen(reinterpret_cast<const char*>(text), SysStringByteLen(text));
}

CDECL_EXPORT BSTR parser_SLR(BSTR text) {
    (void)text;
    return SysAllocStringByteLen(kAccepted, sizeof kAccepted - 1);
}
