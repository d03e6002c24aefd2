// SPDX-License-Identifier: MIT
// Windows-1252, byte for byte as the Windows code page does; the default
// character is '?'. Blocks are taken by the widest instructions the
// processor has, chosen once.
#include "cp1252.h"

#include "codepage_text.h"
#include "cp1252_blocks.h"

#include <algorithm>
#include <vector>

#if defined(__SSE2__)
#  include <emmintrin.h>
#endif

namespace kavrelo::binding::cp1252 {
namespace {

// A unit at a time: for processors with none of the instructions below, and
// the measure the others are tested against.
struct Portable {
    static bool in_high_row(unsigned value) noexcept { return (value & 0xFFE0) == 0x80; }  // 0x80-0x9F

    static BlockMask narrow(const char16_t* units, char* out) noexcept {
        BlockMask misfits = 0;
        for (std::size_t k = 0; k < kBlock; ++k) {
            out[k] = static_cast<char>(units[k]);
            misfits |= static_cast<BlockMask>(units[k] > 0xFF || in_high_row(units[k])) << k;
        }
        return misfits;
    }

    static BlockMask widen(const unsigned char* bytes, char16_t* out) noexcept {
        BlockMask mask = 0;
        for (std::size_t k = 0; k < kBlock; ++k) {
            out[k] = bytes[k];
            mask |= static_cast<BlockMask>(in_high_row(bytes[k])) << k;
        }
        return mask;
    }
};

#if defined(__SSE2__)
// SSE2 is part of every x86-64 processor.
struct Sse2 {
    static __m128i load(const void* at) noexcept { return _mm_loadu_si128(static_cast<const __m128i*>(at)); }

    static BlockMask mask_of_bytes(__m128i lanes) noexcept {
        return static_cast<BlockMask>(_mm_movemask_epi8(lanes));
    }

    // The units of eight that do not narrow to their own value.
    static __m128i misfits(__m128i lanes) noexcept {
        const __m128i within_byte =
            _mm_cmpeq_epi16(_mm_subs_epu16(lanes, _mm_set1_epi16(0xFF)), _mm_setzero_si128());
        const __m128i in_row = _mm_cmpeq_epi16(
            _mm_and_si128(lanes, _mm_set1_epi16(static_cast<short>(0xFFE0))), _mm_set1_epi16(0x80));
        return _mm_or_si128(_mm_xor_si128(within_byte, _mm_set1_epi16(-1)), in_row);
    }

    // Sixteen units or bytes a step.
    static constexpr std::size_t kSteps = kBlock / 16;

    // A unit beyond a byte saturates as it is packed; it is a misfit.
    static BlockMask narrow(const char16_t* units, char* out) noexcept {
        BlockMask mask = 0;
        for (std::size_t step = 0; step < kSteps; ++step) {
            const __m128i first = load(units + 16 * step);
            const __m128i second = load(units + 16 * step + 8);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16 * step), _mm_packus_epi16(first, second));
            mask |= mask_of_bytes(_mm_packs_epi16(misfits(first), misfits(second))) << (16 * step);
        }
        return mask;
    }

    static BlockMask widen(const unsigned char* bytes, char16_t* out) noexcept {
        const __m128i zero = _mm_setzero_si128();
        auto* lanes = reinterpret_cast<__m128i*>(out);
        BlockMask mask = 0;
        for (std::size_t step = 0; step < kSteps; ++step) {
            const __m128i in = load(bytes + 16 * step);
            _mm_storeu_si128(lanes + 2 * step, _mm_unpacklo_epi8(in, zero));
            _mm_storeu_si128(lanes + 2 * step + 1, _mm_unpackhi_epi8(in, zero));
            const __m128i in_row = _mm_cmpeq_epi8(_mm_and_si128(in, _mm_set1_epi8(static_cast<char>(0xE0))),
                                                  _mm_set1_epi8(static_cast<char>(0x80)));
            mask |= mask_of_bytes(in_row) << (16 * step);
        }
        return mask;
    }
};
#endif

template <typename Kernel>
constexpr Routines routines_of(const char* name) noexcept {
    return {name, encode_blocks<Kernel>, decode_blocks<Kernel>};
}

std::vector<Routines> find_routines() {
    std::vector<Routines> found{routines_of<Portable>("portable")};
#if defined(__SSE2__)
    found.push_back(routines_of<Sse2>("SSE2"));
#endif
#if defined(__x86_64__) || defined(__i386__)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2")) {
        found.push_back(avx2_routines());
    }
    if (__builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vl")) {
        found.push_back(avx512_routines());
    }
#endif
    return found;
}

const Routines& fastest() noexcept {
    static const Routines chosen = available_routines().back();
    return chosen;
}

}  // namespace

const std::vector<Routines>& available_routines() {
    static const std::vector<Routines> routines = find_routines();
    return routines;
}

// A text shorter than a block is over before a block routine has set up:
// most arguments and answers are that short.
std::size_t encode(std::u16string_view text, char* out) noexcept {
    if (text.size() < kBlock) {
        char* end = out;
        encode_units(text, 0, text.size(), end);
        return static_cast<std::size_t>(end - out);
    }
    return fastest().encode(text, out);
}

std::u16string decode(std::string_view bytes) {
    const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
    return written_text(bytes.size(), [&](char16_t* out) noexcept {
        if (bytes.size() < kBlock) {
            decode_units(in, 0, bytes.size(), out);
        } else {
            fastest().decode(in, bytes.size(), out);
        }
    });
}

}  // namespace kavrelo::binding::cp1252
