// SPDX-License-Identifier: MIT
#include "codepage.h"

namespace kavrelo::binding {

std::string to_eight_bit(std::u16string_view text) {
    std::string bytes(eight_bit_length(text), '\0');
    encode_eight_bit(text, bytes.data(), bytes.size());
    return bytes;
}

}  // namespace kavrelo::binding
