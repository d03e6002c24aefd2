// SPDX-License-Identifier: MIT
// Round trips through the 8-bit text, from both sides, on arbitrary input.
#include <binding/codepage.h>
#include <binding/library_string.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

using namespace kavrelo::binding;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Bytes -> text -> bytes is the identity: every byte has a character.
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::u16string text = from_eight_bit(bytes);
    if (text.size() != bytes.size() || to_eight_bit(text) != bytes) {
        std::abort();
    }

    // Arbitrary UTF-16 (lone surrogates included) -> bytes: one byte per
    // character, and decoding those bytes then encoding again is stable.
    std::u16string units(size / 2, u'\0');
    std::memcpy(units.data(), data, units.size() * 2);
    const LibraryString argument = make_library_string(units);
    const std::string_view encoded = bytes_of(argument);
    if (encoded != to_eight_bit(units) || encoded.data()[encoded.size()] != '\0') {
        std::abort();
    }
    if (to_eight_bit(text_of(argument)) != encoded) {
        std::abort();
    }
    return 0;
}
