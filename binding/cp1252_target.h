// SPDX-License-Identifier: MIT
// For a file of blocks compiled for one processor family: what the loops
// need from elsewhere, included before the instructions are switched on so
// that none of it is ever made for that family alone, and the switch itself.
//
//   #include "cp1252_target.h"
//   KAVRELO_INSTRUCTIONS_BEGIN("avx2")
//   #include "cp1252_blocks.h"
//   ...
//   KAVRELO_INSTRUCTIONS_END
#pragma once

#include <text/utf16.h>

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include <immintrin.h>

#define KAVRELO_PRAGMA(words) _Pragma(#words)
#if defined(__clang__)
#  define KAVRELO_INSTRUCTIONS_BEGIN(family) \
    KAVRELO_PRAGMA(clang attribute push(__attribute__((target(family))), apply_to = function))
#  define KAVRELO_INSTRUCTIONS_END KAVRELO_PRAGMA(clang attribute pop)
#else
#  define KAVRELO_INSTRUCTIONS_BEGIN(family) \
    KAVRELO_PRAGMA(GCC push_options) KAVRELO_PRAGMA(GCC target(family))
#  define KAVRELO_INSTRUCTIONS_END KAVRELO_PRAGMA(GCC pop_options)
#endif
