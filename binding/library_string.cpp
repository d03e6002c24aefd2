// SPDX-License-Identifier: MIT
#include "library_string.h"

#include "codepage.h"

#include <cstdint>
#include <cstring>
#include <new>
#include <stdexcept>

namespace kavrelo::binding {

namespace {

LibraryString allocate(std::size_t length) {
    if (length > UINT32_MAX - 16) {
        throw std::length_error("el texto es demasiado largo para una cadena de la biblioteca");
    }
    LibraryString string{SysAllocStringByteLen(nullptr, static_cast<unsigned int>(length))};
    if (!string) {
        throw std::bad_alloc();
    }
    return string;
}

char* bytes_in(const LibraryString& string) noexcept { return reinterpret_cast<char*>(string.get()); }

}  // namespace

LibraryString make_library_string(std::u16string_view text) {
    const std::size_t room = eight_bit_room(text);
    LibraryString string = allocate(room);
    const std::size_t length = encode_eight_bit(text, bytes_in(string), room);
    if (length == room) {
        return string;
    }
    // A pair became one byte, and the count must be the length: the rare
    // shorter text gets a block of its own size.
    LibraryString exact = allocate(length);
    std::memcpy(bytes_in(exact), bytes_in(string), length);
    return exact;
}

LibraryString make_library_string(std::string_view bytes) {
    LibraryString string = allocate(bytes.size());
    std::memcpy(bytes_in(string), bytes.data(), bytes.size());
    return string;
}

std::string_view bytes_of(const LibraryString& string) noexcept {
    if (!string) {
        return {};
    }
    return {reinterpret_cast<const char*>(string.get()), SysStringByteLen(string.get())};
}

std::u16string text_of(const LibraryString& string) { return from_eight_bit(bytes_of(string)); }

}  // namespace kavrelo::binding
