// SPDX-License-Identifier: MIT
// How a child ended, in words.
#pragma once

#include <chrono>
#include <string>

namespace kavrelo::zavlek_call {

// A time limit as the messages give it: "2,5 s".
std::string seconds_of(std::chrono::milliseconds limit);

}  // namespace kavrelo::zavlek_call
