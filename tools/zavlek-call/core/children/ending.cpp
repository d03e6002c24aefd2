// SPDX-License-Identifier: MIT
#include "core/children/ending.h"

#include <text/numbers.h>

namespace kavrelo::zavlek_call {

std::string seconds_of(std::chrono::milliseconds limit) {
    return text::decimal(std::chrono::duration<double>(limit).count(), 3, text::TrailingZeros::dropped) +
           " s";
}

}  // namespace kavrelo::zavlek_call
