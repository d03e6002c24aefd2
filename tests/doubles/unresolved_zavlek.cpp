// SPDX-License-Identifier: MIT
// A library that needs a symbol nobody provides: loading it immediately fails.
// (On Windows the symbol comes from a DLL that does not exist.)
#include <zavlek.h>

extern "C" void zavlek_symbol_nobody_defines();

extern "C" ZAVLEK_API void ZAVLEK_CALL mPila(void) { zavlek_symbol_nobody_defines(); }
