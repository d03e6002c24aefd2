// SPDX-License-Identifier: MIT
#include "numbers.h"

#include <algorithm>
#include <cstdio>

namespace kavrelo::text {

std::string grouped_digits(std::size_t number) {
    std::string digits = std::to_string(number);
    for (std::size_t at = digits.size(); at > 3; at -= 3) {
        digits.insert(at - 3, ".");
    }
    return digits;
}

std::string decimal(double number, int places, TrailingZeros zeros) {
    char digits[64];
    std::snprintf(digits, sizeof digits, "%.*f", places, number);
    std::string shown = digits;
    std::replace(shown.begin(), shown.end(), '.', ',');
    if (zeros == TrailingZeros::dropped && shown.find(',') != std::string::npos) {
        while (shown.back() == '0') shown.pop_back();
        if (shown.back() == ',') shown.pop_back();
    }
    return shown;
}

}  // namespace kavrelo::text
