// SPDX-License-Identifier: MIT
// Where the system has no code page of its own, the library's is Windows-1252.
#include "codepage.h"
#include "cp1252.h"

namespace kavrelo::binding {

std::size_t eight_bit_room(std::u16string_view text) { return text.size(); }

std::size_t encode_eight_bit(std::u16string_view text, char* out, std::size_t /*room*/) {
    return cp1252::encode(text, out);
}

std::u16string from_eight_bit(std::string_view bytes) { return cp1252::decode(bytes); }

}  // namespace kavrelo::binding
