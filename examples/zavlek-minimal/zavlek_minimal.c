/* SPDX-License-Identifier: MIT */
/* The smallest complete Zavlek library: the four entry points, each answer a
 * fresh string from SysAllocStringByteLen that the library never keeps, the
 * argument only read. Text is 8-bit (Windows-1252 on Linux, the system's ANSI
 * code page on Windows). Check it with: zavlek-call --library FILE check */
#define ZAVLEK_BUILDING_LIBRARY
#include <zavlek.h>

#include <stdio.h>
#include <string.h>

ZAVLEK_API void ZAVLEK_CALL mPila(void) { fputs("mPila: nada que probar\n", stderr); }

ZAVLEK_API void ZAVLEK_CALL tokeniza(void) { fputs("tokeniza: nada que mostrar\n", stderr); }

/* Counts the fields between the '|' of the text. */
ZAVLEK_API BSTR ZAVLEK_CALL tokeniza2(BSTR text) {
    const char *bytes = (const char *)text;
    unsigned int count = SysStringByteLen(text), fields = 1, i;
    char answer[32];
    for (i = 0; i < count; ++i) fields += bytes[i] == '|';
    return SysAllocStringByteLen(answer, (unsigned int)snprintf(answer, sizeof answer, "%u campos", fields));
}

/* Only checks that the parentheses pair up: where a real parser would start. */
ZAVLEK_API BSTR ZAVLEK_CALL parser_SLR(BSTR text) {
    const char *bytes = (const char *)text;
    unsigned int count = SysStringByteLen(text), i;
    long depth = 0;
    const char *answer = "Cadena aceptada";
    for (i = 0; i < count && depth >= 0; ++i) depth += (bytes[i] == '(') - (bytes[i] == ')');
    if (depth > 0)
        answer = "Error de sintaxis: falta cerrar un par\xE9ntesis";
    else if (depth < 0)
        answer = "Error de sintaxis: un par\xE9ntesis cierra sin haberse abierto";
    return SysAllocStringByteLen(answer, (unsigned int)strlen(answer));
}
