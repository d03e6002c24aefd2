// SPDX-License-Identifier: MIT
// The name a mistyped word most likely meant, for a suggestion.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

namespace kavrelo::zavlek_call {

// The name nearest to the word, ignoring case, when it is near enough to be
// what was meant: a letter left out, added, changed or two swapped, one such
// slip in every three letters at most. Nothing for the word itself, or when
// two names are as near.
std::optional<std::string_view> nearest_name(std::string_view word,
                                             const std::vector<std::string_view>& names);

}  // namespace kavrelo::zavlek_call
