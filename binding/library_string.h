// SPDX-License-Identifier: MIT
// The counted 8-bit strings that cross the library boundary, owned RAII-style.
#pragma once

#include "binding_error.h"

#include <zavlek.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace kavrelo::binding {

// The byte count in front of a library string's bytes, on every platform.
inline constexpr std::size_t kCountSize = sizeof(std::uint32_t);

struct LibraryStringDeleter {
    void operator()(BSTR string) const noexcept { SysFreeString(string); }
};

// A string from the system string allocator, released exactly once when the
// owner goes away. A null LibraryString stands for the library's null result.
using LibraryString = std::unique_ptr<OLECHAR, LibraryStringDeleter>;

// The text as a fresh counted 8-bit string: byte count, the bytes, a NUL.
// Throws std::bad_alloc when the allocator refuses, std::length_error when the
// text is beyond what a 4-byte count can hold.
LibraryString make_library_string(std::u16string_view text);
// The library's own 8-bit bytes as they are, in a fresh counted string; the
// same refusals.
LibraryString make_library_string(std::string_view bytes);

// What is wrong with a string a library returned (StringDefect), found before
// anything reads it by its count or frees it: such a string is neither read
// nor freed. `argument` is the string the library was given: an answer inside it is
// none of its own. A null string has no defect.
StringDefect defect_of(BSTR string, BSTR argument) noexcept;

// Where a string that is not_from_the_allocator points, for the words that
// tell its author what went wrong. Reads nothing the system says cannot be read.
AnswerPlace place_of(BSTR string) noexcept;

// Whether the address lies within the string's block: its count, its bytes
// or the NUL after them.
// Inline: every answer's check asks it.
inline bool lies_within(const unsigned char* at, BSTR string) noexcept {
    if (string == nullptr) {
        return false;
    }
    const auto* bytes = reinterpret_cast<const unsigned char*>(string);
    return at >= bytes - kCountSize && at <= bytes + SysStringByteLen(string);
}

// Its bytes, the whole stored count of them; empty for a null string.
std::string_view bytes_of(const LibraryString& string) noexcept;

// The whole stored byte count converted back to text; null converts to empty.
std::u16string text_of(const LibraryString& string);

}  // namespace kavrelo::binding
