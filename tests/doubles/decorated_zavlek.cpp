// SPDX-License-Identifier: MIT
// A library whose parser is exported only under its 32-bit stdcall decoration,
// _parser_SLR@4 (see decorated_zavlek.def): the console matches names exactly
// and must not find parser_SLR in it.
#include <zavlek.h>

extern "C" BSTR decorated_parser(BSTR text) {
    return SysAllocStringByteLen(reinterpret_cast<const char*>(text), 0);
}
