// SPDX-License-Identifier: MIT
// Conversions between the program's text (UTF-16) and the 8-bit text the
// library speaks: the system's default code page on Windows (CP_ACP) and
// Windows-1252 elsewhere, where the system has no such code page.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kavrelo::binding {

// Room enough for the text's bytes: what encode_eight_bit needs for out.
// Throws std::length_error for a text beyond what the platform's converter
// takes in one piece.
std::size_t eight_bit_room(std::u16string_view text);

// Writes the text's bytes to out, which has the room eight_bit_room(text)
// gave, and returns how many it wrote. A character with no counterpart in
// the code page becomes that code page's default character, once per
// character: a surrogate pair is one character, and so is a lone surrogate.
std::size_t encode_eight_bit(std::u16string_view text, char* out, std::size_t room);

std::string to_eight_bit(std::u16string_view text);

// Every byte, NUL included, is converted; nothing ends the text early.
std::u16string from_eight_bit(std::string_view bytes);

}  // namespace kavrelo::binding
