// The counted 8-bit strings that cross the library boundary, owned RAII-style.
#pragma once

#include <zavlek.h>

#include <memory>
#include <string>
#include <string_view>

namespace kavrelo::binding {

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

// Whether the count stored in front of the string, and the NUL after it, fit
// in the block the allocator gave: a count beyond it does not belong to a
// string the allocator made, and reading by it would run past the block.
// Always true where the allocator cannot tell (Windows).
bool stored_count_fits(const LibraryString& string) noexcept;

// Its bytes, the whole stored count of them; empty for a null string.
std::string_view bytes_of(const LibraryString& string) noexcept;

// The whole stored byte count converted back to text; null converts to empty.
std::u16string text_of(const LibraryString& string);

}  // namespace kavrelo::binding
