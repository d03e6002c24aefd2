// SPDX-License-Identifier: MIT
// Windows-1252 by the project's own tables: the code page of Linux builds,
// and of Windows builds whose system code page it is.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kavrelo::binding::cp1252 {

// Writes the text's bytes to out, which has room for one byte per unit, and
// returns how many it wrote: fewer than the units only where a surrogate
// pair became a single default character.
std::size_t encode(std::u16string_view text, char* out) noexcept;

std::u16string decode(std::string_view bytes);

}  // namespace kavrelo::binding::cp1252
