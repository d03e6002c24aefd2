// SPDX-License-Identifier: MIT
// Windows-1252 by the project's own tables: the code page of Linux builds,
// and of Windows builds whose system code page it is.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace kavrelo::binding::cp1252 {

// Writes the text's bytes to out, which has room for one byte per unit, and
// returns how many it wrote: fewer than the units only where a surrogate
// pair became a single default character.
std::size_t encode(std::u16string_view text, char* out) noexcept;

std::u16string decode(std::string_view bytes);

// One way of converting, by the instructions of one processor family.
struct Routines {
    const char* name;
    std::size_t (*encode)(std::u16string_view text, char* out) noexcept;
    // Writes one unit per byte to out.
    void (*decode)(const unsigned char* bytes, std::size_t size, char16_t* out) noexcept;
};

// The ways this processor can take, simplest first; encode and decode use
// the last. All give the same bytes and text.
const std::vector<Routines>& available_routines();

#if defined(__x86_64__) || defined(__i386__)
Routines avx2_routines() noexcept;
Routines avx512_routines() noexcept;
#endif

}  // namespace kavrelo::binding::cp1252
