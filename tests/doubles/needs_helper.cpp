// SPDX-License-Identifier: MIT
// Libraries that need another library which is not there. Built as:
//  - debug_runtime/Zavlek.dll, importing VCRUNTIME140D.dll (HELPER undefined);
//  - deeper/ayuda.dll, importing VCRUNTIME140D.dll (AYUDA), and
//    deeper/Zavlek.dll, importing ayuda.dll, which is there (NEEDS_AYUDA).
#include <zavlek.h>

#if defined(AYUDA)
extern "C" void zavlek_debug_runtime_function();
extern "C" __declspec(dllexport) void ayuda() { zavlek_debug_runtime_function(); }
#elif defined(NEEDS_AYUDA)
extern "C" __declspec(dllimport) void ayuda();
extern "C" ZAVLEK_API void ZAVLEK_CALL mPila(void) { ayuda(); }
#else
extern "C" void zavlek_debug_runtime_function();
extern "C" ZAVLEK_API void ZAVLEK_CALL mPila(void) { zavlek_debug_runtime_function(); }
#endif
