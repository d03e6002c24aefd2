// Conversions between the program's text (UTF-16) and the 8-bit text the
// library speaks: Windows-1252, byte for byte as the Windows code page does.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kavrelo::binding {

// Number of bytes encode_cp1252 writes for this text: one per character,
// where a surrogate pair is one character and a lone surrogate is one too.
std::size_t cp1252_length(std::u16string_view text) noexcept;

// Writes cp1252_length(text) bytes to out. A character with no counterpart in
// the code page becomes one '?'. The five bytes the code page leaves undefined
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) pair with U+0081, U+008D, U+008F, U+0090 and
// U+009D, so every byte value survives a round trip.
void encode_cp1252(std::u16string_view text, char* out) noexcept;

std::string to_cp1252(std::u16string_view text);

// Every byte, NUL included, becomes one UTF-16 code unit.
std::u16string from_cp1252(std::string_view bytes);

}  // namespace kavrelo::binding
