// SPDX-License-Identifier: MIT
// Blocks of Windows-1252 by AVX-512 (byte and word instructions, on 256-bit
// registers too), for processors that have it: chosen at run time, so this
// file alone is compiled for those instructions.
#include "cp1252.h"

#if defined(__x86_64__) || defined(__i386__)

#  include "cp1252_target.h"

KAVRELO_INSTRUCTIONS_BEGIN("avx512bw,avx512vl")

#  include "cp1252_blocks.h"

namespace kavrelo::binding::cp1252 {
namespace {

// A block of 64 units is two 512-bit registers, each narrowing in one step.
struct Avx512 {
    // Every lane (the unmasked form leaves a register undefined first, which
    // the compiler then warns about).
    static constexpr __mmask32 kWhole = ~__mmask32{0};

    static std::uint32_t misfits(__m512i lanes) noexcept {
        const __mmask32 beyond_byte = _mm512_cmpgt_epu16_mask(lanes, _mm512_set1_epi16(0xFF));
        const __mmask32 in_row = _mm512_cmpeq_epi16_mask(
            _mm512_and_si512(lanes, _mm512_set1_epi16(static_cast<short>(0xFFE0))), _mm512_set1_epi16(0x80));
        return static_cast<std::uint32_t>(beyond_byte | in_row);
    }

    static BlockMask narrow(const char16_t* units, char* out) noexcept {
        const __m512i first = _mm512_loadu_si512(units);
        const __m512i second = _mm512_loadu_si512(units + 32);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm512_maskz_cvtepi16_epi8(kWhole, first));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 32), _mm512_maskz_cvtepi16_epi8(kWhole, second));
        // Most blocks are ASCII, which one test tells; only the others are
        // looked at unit by unit.
        if (_mm512_test_epi16_mask(_mm512_or_si512(first, second),
                                   _mm512_set1_epi16(static_cast<short>(0xFF80))) == 0) {
            return 0;
        }
        return misfits(first) | BlockMask{misfits(second)} << 32;
    }

    static BlockMask widen(const unsigned char* bytes, char16_t* out) noexcept {
        BlockMask mask = 0;
        for (int half = 0; half < 2; ++half) {
            const __m256i in = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + 32 * half));
            _mm512_storeu_si512(out + 32 * half, _mm512_cvtepu8_epi16(in));
            const __mmask32 in_row =
                _mm256_cmpeq_epi8_mask(_mm256_and_si256(in, _mm256_set1_epi8(static_cast<char>(0xE0))),
                                       _mm256_set1_epi8(static_cast<char>(0x80)));
            mask |= BlockMask{in_row} << (32 * half);
        }
        return mask;
    }
};

}  // namespace

Routines avx512_routines() noexcept { return {"AVX-512", encode_blocks<Avx512>, decode_blocks<Avx512>}; }

}  // namespace kavrelo::binding::cp1252

KAVRELO_INSTRUCTIONS_END

#endif
