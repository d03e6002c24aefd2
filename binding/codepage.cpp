// SPDX-License-Identifier: MIT
#include "codepage.h"

namespace kavrelo::binding {

std::string to_eight_bit(std::u16string_view text) {
    std::string bytes(eight_bit_room(text), '\0');
    bytes.resize(encode_eight_bit(text, bytes.data(), bytes.size()));
    return bytes;
}

}  // namespace kavrelo::binding
