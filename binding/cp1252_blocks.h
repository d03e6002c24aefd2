// SPDX-License-Identifier: MIT
// The tables of Windows-1252 and the conversion loops, for each way a
// processor can take a block of text at once. Each file that includes this
// gets its own copy of the loops, compiled for its own instruction set.
#pragma once

#include <text/utf16.h>

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#if defined(__SSE2__)
#  include <emmintrin.h>
#endif

namespace kavrelo::binding::cp1252 {

// Bytes 0x80-0x9F; the rest of the code page is identical to Latin-1. The
// five bytes the code page leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D)
// pair with the controls of the same value, so every byte survives a round
// trip.
inline constexpr std::array<char16_t, 32> kHighControls = {
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

inline constexpr auto kDecode = make_decode_table();

inline constexpr char kReplacement = '?';

// The highest character the code page has: U+2122, the trade mark sign.
inline constexpr char16_t kLastInCodePage = u'\u2122';

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

inline constexpr auto kEncode = make_encode_table();

// Most text converts unit for unit: ASCII and Latin-1 (U+00A0-U+00FF) are the
// same numbers in both, and only the row 0x80-0x9F differs. So text is taken
// a block at a time: the block is widened or narrowed whole, and the few
// units that need more are found by a bit mask and put right one by one.
// This keeps long answers converting at close to the speed of copying them.
// A block of 64 units is two of the widest registers, told all ASCII (and so
// needing no closer look) by one test; Spanish text seldom has a block of
// that many without an accent, so the processor seldom mispredicts the test.
inline constexpr std::size_t kBlock = 64;
using BlockMask = std::uint64_t;  // bit k stands for unit k of the block

// Internal to each including file, so that no copy compiled for one
// instruction set is ever called by code meant for another.
namespace {

// Calls put_right(k) for each bit k set in mask.
template <typename PutRight>
inline void for_each_bit(BlockMask mask, PutRight put_right) {
    while (mask != 0) {
        put_right(static_cast<std::size_t>(__builtin_ctzll(mask)));
        mask &= mask - 1;
    }
}

inline char encode_unit(char16_t unit) noexcept {
    return unit <= kLastInCodePage ? kEncode[unit] : kReplacement;
}

// Eight units or bytes at a time, for what is left after the blocks and for
// texts shorter than one: a word of eight ASCII bytes, or two of four ASCII
// units, converts by copying. A last part shorter than a word is taken as
// the word that ends with the text, when the text has one: converting a
// character again writes it again, the same.
inline constexpr std::size_t kWord = 8;

// Within a word, lanes are in memory order only on a little-endian processor.
static_assert(std::endian::native == std::endian::little);

#if defined(__SSE2__)
// A word of eight units is one SSE2 register (part of every x86-64
// processor), and packs or unpacks in one instruction. It is tested there
// too: read as two integers, the compiler may load it whole and store it to
// the stack to read each half back, which costs more than the test.
inline bool ascii_units(const char16_t* units) noexcept {
    const __m128i lanes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(units));
    const __m128i beyond_ascii = _mm_and_si128(lanes, _mm_set1_epi16(static_cast<short>(0xFF80)));
    return _mm_movemask_epi8(_mm_cmpeq_epi16(beyond_ascii, _mm_setzero_si128())) == 0xFFFF;
}

inline void narrow_ascii_word(const char16_t* units, char* out) noexcept {
    const __m128i lanes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(units));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(lanes, lanes));
}

inline void widen_ascii_word(const unsigned char* bytes, char16_t* out) noexcept {
    const __m128i lanes = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(bytes));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi8(lanes, _mm_setzero_si128()));
}
#else
inline bool ascii_units(const char16_t* units) noexcept {
    std::uint64_t halves[2];
    std::memcpy(halves, units, sizeof halves);
    return ((halves[0] | halves[1]) & 0xFF80'FF80'FF80'FF80u) == 0;
}

// Four ASCII units, 16 bits each in a word, as their four bytes.
inline std::uint32_t four_bytes(std::uint64_t units) noexcept {
    units = (units | units >> 8) & 0x0000'FFFF'0000'FFFFu;
    return static_cast<std::uint32_t>(units | units >> 16);
}

// Four bytes as four units, 16 bits each in a word.
inline std::uint64_t four_units(std::uint32_t bytes) noexcept {
    std::uint64_t units = bytes;
    units = (units | units << 16) & 0x0000'FFFF'0000'FFFFu;
    return (units | units << 8) & 0x00FF'00FF'00FF'00FFu;
}

inline void narrow_ascii_word(const char16_t* units, char* out) noexcept {
    std::uint64_t halves[2];
    std::memcpy(halves, units, sizeof halves);
    const std::uint64_t bytes = four_bytes(halves[0]) | std::uint64_t{four_bytes(halves[1])} << 32;
    std::memcpy(out, &bytes, sizeof bytes);
}

inline void widen_ascii_word(const unsigned char* bytes, char16_t* out) noexcept {
    std::uint64_t word;
    std::memcpy(&word, bytes, sizeof word);
    const std::uint64_t units[2] = {four_units(static_cast<std::uint32_t>(word)),
                                    four_units(static_cast<std::uint32_t>(word >> 32))};
    std::memcpy(out, units, sizeof units);
}
#endif

// Unit by unit from `from` to `to`, or one past it when the last unit
// starts a pair, which becomes one default character; returns where it
// stopped. For the last few units of a text, and blocks with surrogates.
inline std::size_t encode_units(std::u16string_view text, std::size_t from, std::size_t to,
                                char*& out) noexcept {
    const char16_t* const units = text.data();
    std::size_t i = from;
    while (i < to) {
        if (to - i >= kWord && ascii_units(units + i)) {
            narrow_ascii_word(units + i, out);
            out += kWord;
            i += kWord;
            continue;
        }
        // Every unit of an ASCII word made one byte in its place, so the word
        // ending with the text ends where the bytes must.
        if (to >= kWord && to - i < kWord && ascii_units(units + to - kWord)) {
            narrow_ascii_word(units + to - kWord, out - (i - (to - kWord)));
            out += to - i;
            return to;
        }
        const char16_t unit = units[i++];
        if (unit < 0x80) {
            *out++ = static_cast<char>(unit);
            continue;
        }
        *out++ = encode_unit(unit);
        if (text::is_high_surrogate(unit) && i < text.size() && text::is_low_surrogate(units[i])) {
            ++i;
        }
    }
    return i;
}

inline void decode_word(const unsigned char* bytes, char16_t* out) noexcept {
    std::uint64_t word;
    std::memcpy(&word, bytes, sizeof word);
    if ((word & 0x8080'8080'8080'8080u) == 0) {
        widen_ascii_word(bytes, out);
    } else {
        for (std::size_t k = 0; k < kWord; ++k) out[k] = kDecode[bytes[k]];
    }
}

// From `from` to `to`: the last few bytes of a text, or all of a short one.
inline void decode_units(const unsigned char* in, std::size_t from, std::size_t to, char16_t* out) noexcept {
    std::size_t i = from;
    for (; to - i >= kWord; i += kWord) {
        decode_word(in + i, out + i);
    }
    if (i < to && to >= kWord) {
        decode_word(in + to - kWord, out + to - kWord);
        return;
    }
    for (; i < to; ++i) {
        out[i] = kDecode[in[i]];
    }
}

// Kernel::narrow(units, out) writes each unit of a block that fits a byte as
// that byte, and some byte for each other unit, and returns the mask of the
// units that do not narrow to their own value (which are put right after);
// Kernel::widen(bytes, out) writes each byte of a block as the unit of the
// same value and returns the mask of the bytes in the row 0x80-0x9F, the
// only ones that do not widen to their own value.
template <typename Kernel>
std::size_t encode_blocks(std::u16string_view text, char* out) noexcept {
    const char16_t* const units = text.data();
    const std::size_t size = text.size();
    char* const first = out;
    std::size_t i = 0;
    while (size - i >= kBlock) {
        // The surrogates are among the units that do not narrow to their own
        // value, so one pass finds both; a block with one is taken unit by
        // unit instead.
        bool surrogate = false;
        for_each_bit(Kernel::narrow(units + i, out), [&](std::size_t k) {
            surrogate = surrogate || text::is_surrogate(units[i + k]);
            out[k] = encode_unit(units[i + k]);
        });
        if (surrogate) {
            i = encode_units(text, i, i + kBlock, out);
        } else {
            out += kBlock;
            i += kBlock;
        }
    }
    encode_units(text, i, size, out);
    return static_cast<std::size_t>(out - first);
}

template <typename Kernel>
void decode_blocks(const unsigned char* in, std::size_t size, char16_t* out) noexcept {
    const auto put_right = [&](std::size_t from, BlockMask mask) {
        for_each_bit(mask, [&](std::size_t k) { out[from + k] = kDecode[in[from + k]]; });
    };
    std::size_t i = 0;
    // Two blocks a turn: the loop's own work is then paid half as often.
    for (; size - i >= 2 * kBlock; i += 2 * kBlock) {
        const BlockMask first = Kernel::widen(in + i, out + i);
        const BlockMask second = Kernel::widen(in + i + kBlock, out + i + kBlock);
        if ((first | second) != 0) {
            put_right(i, first);
            put_right(i + kBlock, second);
        }
    }
    if (size - i >= kBlock) {
        put_right(i, Kernel::widen(in + i, out + i));
        i += kBlock;
    }
    decode_units(in, i, size, out);
}

}  // namespace
}  // namespace kavrelo::binding::cp1252
