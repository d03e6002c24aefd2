// SPDX-License-Identifier: MIT
// Windows-1252, byte for byte as the Windows code page does. The five bytes
// the code page leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) pair with
// U+0081, U+008D, U+008F, U+0090 and U+009D, so every byte value survives a
// round trip; the default character is '?'.
#include "cp1252.h"

#include <text/utf16.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>

#if defined(__SSE2__)
#  include <emmintrin.h>
#endif

namespace kavrelo::binding::cp1252 {
namespace {

// Bytes 0x80-0x9F; the rest of the code page is identical to Latin-1.
constexpr std::array<char16_t, 32> kHighControls = {
    u'\u20AC', u'\u0081', u'\u201A', u'\u0192', u'\u201E', u'\u2026', u'\u2020', u'\u2021',
    u'\u02C6', u'\u2030', u'\u0160', u'\u2039', u'\u0152', u'\u008D', u'\u017D', u'\u008F',
    u'\u0090', u'\u2018', u'\u2019', u'\u201C', u'\u201D', u'\u2022', u'\u2013', u'\u2014',
    u'\u02DC', u'\u2122', u'\u0161', u'\u203A', u'\u0153', u'\u009D', u'\u017E', u'\u0178',
};

constexpr std::array<char16_t, 256> make_decode_table() {
    std::array<char16_t, 256> table{};
    for (unsigned byte = 0; byte < 256; ++byte) {
        table[byte] = static_cast<char16_t>(byte);
    }
    for (unsigned i = 0; i < kHighControls.size(); ++i) {
        table[0x80 + i] = kHighControls[i];
    }
    return table;
}

constexpr auto kDecode = make_decode_table();

constexpr char kReplacement = '?';

// The highest character the code page has: U+2122, the trade mark sign.
constexpr char16_t kLastInCodePage = u'\u2122';

// Every character up to kLastInCodePage to its byte, or to the default
// character where the code page lacks it; the table inverts kDecode.
constexpr std::array<char, kLastInCodePage + 1> make_encode_table() {
    std::array<char, kLastInCodePage + 1> table{};
    table.fill(kReplacement);
    for (unsigned byte = 0; byte < 256; ++byte) {
        table[kDecode[byte]] = static_cast<char>(byte);
    }
    return table;
}

constexpr auto kEncode = make_encode_table();

// Most text converts unit for unit: ASCII and Latin-1 (U+00A0-U+00FF) are the
// same numbers in both, and only the row 0x80-0x9F differs. So text is taken
// a block at a time: the block is copied, widened or narrowed whole, and the
// few units that need more are found by a bit mask and put right one by one.
// This keeps long answers converting at close to the speed of copying them.
constexpr std::size_t kBlock = 32;
using BlockMask = std::uint32_t;  // bit k stands for unit k of the block

#if defined(__SSE2__)
// SSE2 is part of every x86-64 processor.
BlockMask mask_of_bytes(__m128i lanes) noexcept { return static_cast<BlockMask>(_mm_movemask_epi8(lanes)); }

// Two masks of 16-bit lanes packed to one bit per lane.
BlockMask mask_of_units(__m128i low, __m128i high) noexcept {
    return mask_of_bytes(_mm_packs_epi16(low, high));
}

__m128i load(const void* at) noexcept { return _mm_loadu_si128(static_cast<const __m128i*>(at)); }

// The units that do not narrow to their own value.
BlockMask misfits_of(const char16_t* units) noexcept {
    const __m128i beyond_byte = _mm_set1_epi16(0xFF);
    const __m128i row_bits = _mm_set1_epi16(static_cast<short>(0xFFE0));
    const __m128i row = _mm_set1_epi16(0x80);
    const auto misfit = [&](const char16_t* at) {
        const __m128i lanes = load(at);
        const __m128i above = _mm_cmpeq_epi16(_mm_subs_epu16(lanes, beyond_byte), _mm_setzero_si128());
        const __m128i in_row = _mm_cmpeq_epi16(_mm_and_si128(lanes, row_bits), row);
        return _mm_or_si128(_mm_xor_si128(above, _mm_set1_epi16(-1)), in_row);
    };
    return mask_of_units(misfit(units), misfit(units + 8)) |
           mask_of_units(misfit(units + 16), misfit(units + 24)) << 16;
}

BlockMask high_row_of(const unsigned char* bytes) noexcept {
    const __m128i bits = _mm_set1_epi8(static_cast<char>(0xE0));
    const __m128i row = _mm_set1_epi8(static_cast<char>(0x80));
    const auto found = [&](const unsigned char* at) {
        return mask_of_bytes(_mm_cmpeq_epi8(_mm_and_si128(load(at), bits), row));
    };
    return found(bytes) | found(bytes + 16) << 16;
}

// Each byte as the unit of the same value.
void widen_block(const unsigned char* bytes, char16_t* out) noexcept {
    const __m128i zero = _mm_setzero_si128();
    auto* lanes = reinterpret_cast<__m128i*>(out);
    for (int half = 0; half < 2; ++half) {
        const __m128i in = load(bytes + 16 * half);
        _mm_storeu_si128(lanes + 2 * half, _mm_unpacklo_epi8(in, zero));
        _mm_storeu_si128(lanes + 2 * half + 1, _mm_unpackhi_epi8(in, zero));
    }
}

// Each unit's low byte; units beyond a byte are put right afterwards.
void narrow_block(const char16_t* units, char* out) noexcept {
    const __m128i low_byte = _mm_set1_epi16(0xFF);
    const auto pack = [&](const char16_t* at) {
        return _mm_packus_epi16(_mm_and_si128(load(at), low_byte), _mm_and_si128(load(at + 8), low_byte));
    };
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), pack(units));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), pack(units + 16));
}
#else
bool is_high_row(unsigned value) noexcept { return (value & 0xFFE0) == 0x80; }  // 0x80-0x9F

template <typename Unit, typename Test>
BlockMask mask_where(const Unit* units, Test test) noexcept {
    BlockMask mask = 0;
    for (std::size_t k = 0; k < kBlock; ++k) {
        mask |= static_cast<BlockMask>(test(units[k])) << k;
    }
    return mask;
}

BlockMask misfits_of(const char16_t* units) noexcept {
    return mask_where(units, [](char16_t unit) { return unit > 0xFF || is_high_row(unit); });
}

BlockMask high_row_of(const unsigned char* bytes) noexcept {
    return mask_where(bytes, [](unsigned char byte) { return is_high_row(byte); });
}

void widen_block(const unsigned char* bytes, char16_t* out) noexcept { std::copy_n(bytes, kBlock, out); }

void narrow_block(const char16_t* units, char* out) noexcept {
    for (std::size_t k = 0; k < kBlock; ++k) {
        out[k] = static_cast<char>(units[k]);
    }
}
#endif

// Calls put_right(k) for each bit k set in mask.
template <typename PutRight>
void for_each_bit(BlockMask mask, PutRight put_right) {
    while (mask != 0) {
        put_right(static_cast<std::size_t>(std::countr_zero(mask)));
        mask &= mask - 1;
    }
}

char encode_unit(char16_t unit) noexcept { return unit <= kLastInCodePage ? kEncode[unit] : kReplacement; }

// Narrows a block, each unit to one byte, and says whether that was right:
// a block with a surrogate in it must be taken unit by unit instead. The
// surrogates are among the few units that do not narrow to their own value,
// so one pass over the block finds both.
bool narrowed_units(const char16_t* units, char* out) noexcept {
    narrow_block(units, out);
    bool surrogate = false;
    for_each_bit(misfits_of(units), [&](std::size_t k) {
        surrogate = surrogate || text::is_surrogate(units[k]);
        out[k] = encode_unit(units[k]);
    });
    return !surrogate;
}

// Unit by unit from `from` to `to`, or one past it when the last unit
// starts a pair, which becomes one default character; returns where it
// stopped. For the last few units of a text, and blocks with surrogates.
std::size_t encode_units(std::u16string_view text, std::size_t from, std::size_t to, char*& out) noexcept {
    std::size_t i = from;
    while (i < to) {
        const char16_t unit = text[i++];
        if (unit < 0x80) {
            *out++ = static_cast<char>(unit);
            continue;
        }
        *out++ = encode_unit(unit);
        if (text::is_high_surrogate(unit) && i < text.size() && text::is_low_surrogate(text[i])) {
            ++i;
        }
    }
    return i;
}

}  // namespace

std::size_t encode(std::u16string_view text, char* out) noexcept {
    const char16_t* const units = text.data();
    const std::size_t size = text.size();
    char* const first = out;
    std::size_t i = 0;
    while (size - i >= kBlock) {
        if (narrowed_units(units + i, out)) {
            out += kBlock;
            i += kBlock;
        } else {
            i = encode_units(text, i, i + kBlock, out);
        }
    }
    encode_units(text, i, size, out);
    return static_cast<std::size_t>(out - first);
}

std::u16string decode(std::string_view bytes) {
    const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t size = bytes.size();
    std::u16string text(size, u'\0');
    char16_t* out = text.data();
    std::size_t i = 0;
    // Widened byte for byte, which is already right outside the 0x80-0x9F
    // row; then that row, where it occurs, is put right.
    for (; size - i >= kBlock; i += kBlock) {
        widen_block(in + i, out + i);
        for_each_bit(high_row_of(in + i), [&](std::size_t k) { out[i + k] = kDecode[in[i + k]]; });
    }
    for (; i < size; ++i) {
        out[i] = kDecode[in[i]];
    }
    return text;
}

}  // namespace kavrelo::binding::cp1252
