// Windows-1252, byte for byte as the Windows code page does. The five bytes
// the code page leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) pair with
// U+0081, U+008D, U+008F, U+0090 and U+009D, so every byte value survives a
// round trip; the default character is '?'.
#include "codepage.h"

#include <array>
#include <cstdint>
#include <cstring>

namespace kavrelo::binding {
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

char encode_beyond_ascii(char16_t unit) noexcept {
    if (unit >= 0xA0 && unit <= 0xFF) {
        return static_cast<char>(unit);
    }
    for (unsigned i = 0; i < kHighControls.size(); ++i) {
        if (kHighControls[i] == unit) {
            return static_cast<char>(0x80 + i);
        }
    }
    return kReplacement;
}

bool is_high_surrogate(char16_t unit) noexcept { return unit >= 0xD800 && unit <= 0xDBFF; }
bool is_low_surrogate(char16_t unit) noexcept { return unit >= 0xDC00 && unit <= 0xDFFF; }

constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;

}  // namespace

std::size_t eight_bit_length(std::u16string_view text) {
    std::size_t pairs = 0;
    for (std::size_t i = 0; i + 1 < text.size(); ++i) {
        if (is_high_surrogate(text[i]) && is_low_surrogate(text[i + 1])) {
            ++pairs;
            ++i;
        }
    }
    return text.size() - pairs;
}

void encode_eight_bit(std::u16string_view text, char* out, std::size_t /*length*/) {
    const std::size_t size = text.size();
    std::size_t i = 0;
    while (i < size) {
        const char16_t unit = text[i];
        if (unit < 0x80) {
            *out++ = static_cast<char>(unit);
            ++i;
        } else if (is_high_surrogate(unit) && i + 1 < size && is_low_surrogate(text[i + 1])) {
            *out++ = kReplacement;
            i += 2;
        } else {
            *out++ = encode_beyond_ascii(unit);
            ++i;
        }
    }
}

std::string to_eight_bit(std::u16string_view text) {
    std::string bytes(eight_bit_length(text), '\0');
    encode_eight_bit(text, bytes.data(), bytes.size());
    return bytes;
}

std::u16string from_eight_bit(std::string_view bytes) {
    std::u16string text(bytes.size(), u'\0');
    const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
    char16_t* out = text.data();
    const std::size_t size = bytes.size();
    std::size_t i = 0;
    while (i < size) {
        // ASCII runs, eight bytes at a time: they widen unchanged.
        std::uint64_t word = 0;
        if (i + sizeof word <= size && (std::memcpy(&word, in + i, sizeof word), (word & kHighBits) == 0)) {
            for (std::size_t k = 0; k < sizeof word; ++k) {
                out[i + k] = in[i + k];
            }
            i += sizeof word;
            continue;
        }
        out[i] = kDecode[in[i]];
        ++i;
    }
    return text;
}

}  // namespace kavrelo::binding
