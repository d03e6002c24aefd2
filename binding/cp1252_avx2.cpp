// SPDX-License-Identifier: MIT
// Blocks of Windows-1252 by AVX2, for processors that have it: chosen at run
// time, so this file alone is compiled for those instructions.
#include "cp1252.h"

#if defined(__x86_64__) || defined(__i386__)

#  include "cp1252_target.h"

KAVRELO_INSTRUCTIONS_BEGIN("avx2")

#  include "cp1252_blocks.h"

namespace kavrelo::binding::cp1252 {
namespace {

struct Avx2 {
    static __m256i load(const void* at) noexcept {
        return _mm256_loadu_si256(static_cast<const __m256i*>(at));
    }

    // The units of sixteen that do not narrow to their own value.
    static __m256i misfits(__m256i lanes) noexcept {
        const __m256i within_byte =
            _mm256_cmpeq_epi16(_mm256_subs_epu16(lanes, _mm256_set1_epi16(0xFF)), _mm256_setzero_si256());
        const __m256i in_row = _mm256_cmpeq_epi16(
            _mm256_and_si256(lanes, _mm256_set1_epi16(static_cast<short>(0xFFE0))), _mm256_set1_epi16(0x80));
        return _mm256_or_si256(_mm256_xor_si256(within_byte, _mm256_set1_epi16(-1)), in_row);
    }

    // Packing works within each 128-bit half; this puts the halves in order.
    static __m256i in_order(__m256i packed) noexcept { return _mm256_permute4x64_epi64(packed, 0xD8); }

    // Thirty-two units, in two registers, narrowed: each unit that fits a
    // byte becomes that byte; the others saturate, and are misfits.
    static void store_narrowed(__m256i first, __m256i second, char* out) noexcept {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), in_order(_mm256_packus_epi16(first, second)));
    }

    // The mask of the thirty-two units that do not narrow to their own value.
    static std::uint32_t misfits_of(__m256i first, __m256i second) noexcept {
        return static_cast<std::uint32_t>(
            _mm256_movemask_epi8(in_order(_mm256_packs_epi16(misfits(first), misfits(second)))));
    }

    static BlockMask narrow(const char16_t* units, char* out) noexcept {
        const __m256i lanes[4] = {load(units), load(units + 16), load(units + 32), load(units + 48)};
        store_narrowed(lanes[0], lanes[1], out);
        store_narrowed(lanes[2], lanes[3], out + 32);
        // Most blocks are ASCII, which one test tells; only the others are
        // looked at unit by unit.
        const __m256i any =
            _mm256_or_si256(_mm256_or_si256(lanes[0], lanes[1]), _mm256_or_si256(lanes[2], lanes[3]));
        if (_mm256_testz_si256(any, _mm256_set1_epi16(static_cast<short>(0xFF80)))) {
            return 0;
        }
        return misfits_of(lanes[0], lanes[1]) | BlockMask{misfits_of(lanes[2], lanes[3])} << 32;
    }

    static BlockMask widen(const unsigned char* bytes, char16_t* out) noexcept {
        auto* lanes = reinterpret_cast<__m256i*>(out);
        BlockMask mask = 0;
        for (int half = 0; half < 2; ++half) {
            const __m256i in = load(bytes + 32 * half);
            _mm256_storeu_si256(lanes + 2 * half, _mm256_cvtepu8_epi16(_mm256_castsi256_si128(in)));
            _mm256_storeu_si256(lanes + 2 * half + 1, _mm256_cvtepu8_epi16(_mm256_extracti128_si256(in, 1)));
            const __m256i in_row =
                _mm256_cmpeq_epi8(_mm256_and_si256(in, _mm256_set1_epi8(static_cast<char>(0xE0))),
                                  _mm256_set1_epi8(static_cast<char>(0x80)));
            mask |= BlockMask{static_cast<std::uint32_t>(_mm256_movemask_epi8(in_row))} << (32 * half);
        }
        return mask;
    }
};

}  // namespace

Routines avx2_routines() noexcept { return {"AVX2", encode_blocks<Avx2>, decode_blocks<Avx2>}; }

}  // namespace kavrelo::binding::cp1252

KAVRELO_INSTRUCTIONS_END

#endif
