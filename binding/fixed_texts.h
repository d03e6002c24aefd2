// SPDX-License-Identifier: MIT
// The texts both users of the library fix: the argument the tokenizer is
// tried with, and the refusal of an empty text, which the library never
// sees. The window's commands and zavlek-call send and say them alike.
#pragma once

#include <string_view>

namespace kavrelo::binding {

inline constexpr std::u16string_view kTokenizerArgument = u"01|02|03|04|05|06|07|08|09|10|11|12";
inline constexpr std::u16string_view kEmptyInputRefusal = u"No se aceptan cadenas vacías";

}  // namespace kavrelo::binding
