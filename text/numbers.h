// SPDX-License-Identifier: MIT
// Numbers as Spanish writes them: a point between groups of three digits and
// a comma before the decimals.
#pragma once

#include <cstddef>
#include <string>

namespace kavrelo::text {

// 16777216 -> "16.777.216".
std::string grouped_digits(std::size_t number);

// 1.5 with 2 places -> "1,50"; with trailing zeros dropped, "1,5", and 2.0
// -> "2".
enum class TrailingZeros { kept, dropped };
std::string decimal(double number, int places, TrailingZeros zeros = TrailingZeros::kept);

}  // namespace kavrelo::text
