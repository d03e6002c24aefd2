// SPDX-License-Identifier: MIT
/*
 * zavlek.h - the contract between the Kavrelo1 console and a Zavlek library.
 *
 * A Zavlek library exports four entry points with C linkage. The console
 * binds each one by its exact name the first time its button is pressed.
 *
 * Text crosses the boundary as counted 8-bit strings (Windows-1252 on Linux,
 * the system's ANSI code page on Windows), laid out as the system string
 * type BSTR: a 4-byte byte count, the bytes, a terminating NUL; the pointer
 * designates the first byte.
 *
 *   - The argument of tokeniza2 and parser_SLR belongs to the console. It is
 *     made afresh for every call; the library may read it up to the NUL or by
 *     SysStringByteLen, and may write into it, but must not keep or free it.
 *   - The result is allocated by the library with SysAllocStringByteLen and
 *     belongs to the console from the moment of the return; the console frees
 *     it with SysFreeString. A NULL result is read as the empty text.
 *
 * On Windows the allocator is the system's (oleaut32). Elsewhere this header
 * supplies it inline on top of the C allocator, so that library source written
 * for Windows builds unchanged.
 */
#ifndef ZAVLEK_H
#define ZAVLEK_H

#if defined(_WIN32)
#  include <windows.h>
#  include <oleauto.h>
#  if defined(_M_IX86) || defined(__i386__)
#    define ZAVLEK_CALL __stdcall
#  else
#    define ZAVLEK_CALL
#  endif
#  if defined(ZAVLEK_BUILDING_LIBRARY)
#    define ZAVLEK_API __declspec(dllexport)
#  else
#    define ZAVLEK_API
#  endif
#else
#  include <stdint.h>
#  include <stdlib.h>
#  include <string.h>
#  define ZAVLEK_CALL
#  if defined(ZAVLEK_BUILDING_LIBRARY)
#    define ZAVLEK_API __attribute__((visibility("default")))
#  else
#    define ZAVLEK_API
#  endif

typedef unsigned short OLECHAR;
typedef OLECHAR *BSTR;

/* The block is [uint32 byte count][bytes][two zero bytes]; a BSTR points past
 * the count. The two zero bytes end the text for 8-bit and 16-bit readers. */
#  define ZAVLEK_BSTR_HEADER ((size_t)sizeof(uint32_t))

/* Allocates a string of len bytes copied from psz (or left uninitialised when
 * psz is NULL), followed by a NUL. Returns NULL when out of memory. */
static inline BSTR SysAllocStringByteLen(const char *psz, unsigned int len) {
    unsigned char *block;
    uint32_t count = (uint32_t)len;
    if ((size_t)len > (size_t)UINT32_MAX - ZAVLEK_BSTR_HEADER - 2u) return NULL;
    block = (unsigned char *)malloc(ZAVLEK_BSTR_HEADER + (size_t)len + 2u);
    if (block == NULL) return NULL;
    memcpy(block, &count, sizeof count);
    if (psz != NULL && len != 0) memcpy(block + ZAVLEK_BSTR_HEADER, psz, len);
    block[ZAVLEK_BSTR_HEADER + len] = 0;
    block[ZAVLEK_BSTR_HEADER + len + 1] = 0;
    return (BSTR)(void *)(block + ZAVLEK_BSTR_HEADER);
}

/* The byte count stored in front of the string; 0 for NULL. */
static inline unsigned int SysStringByteLen(BSTR bstr) {
    uint32_t count;
    if (bstr == NULL) return 0;
    memcpy(&count, (const unsigned char *)(const void *)bstr - ZAVLEK_BSTR_HEADER, sizeof count);
    return (unsigned int)count;
}

/* Frees a string from SysAllocStringByteLen; NULL is ignored. */
static inline void SysFreeString(BSTR bstr) {
    if (bstr != NULL) free((unsigned char *)(void *)bstr - ZAVLEK_BSTR_HEADER);
}
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Self-test of the library's stack. No argument, no result. */
ZAVLEK_API void ZAVLEK_CALL mPila(void);

/* Tokenizes a sample text of the library's own. No argument, no result. */
ZAVLEK_API void ZAVLEK_CALL tokeniza(void);

/* Tokenizes the text and returns the token list. */
ZAVLEK_API BSTR ZAVLEK_CALL tokeniza2(BSTR text);

/* Parses the text and returns the parser's verdict. */
ZAVLEK_API BSTR ZAVLEK_CALL parser_SLR(BSTR text);

#ifdef __cplusplus
}
#endif

#endif /* ZAVLEK_H */
