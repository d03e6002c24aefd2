// SPDX-License-Identifier: MIT
// The summary of a fuzz run as a table for people or as JSON for CI.
#pragma once

#include "core/fuzzing/fuzz_run.h"

#include <string>

namespace kavrelo::zavlek_call {

// Each finding with the command that reproduces it, or, when it could not
// be saved, why and its input in hexadecimal.
std::string fuzz_table(const FuzzSummary& summary, const FuzzSettings& settings);
std::string fuzz_json(const FuzzSummary& summary, const FuzzSettings& settings);

}  // namespace kavrelo::zavlek_call
