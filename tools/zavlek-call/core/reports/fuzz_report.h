// SPDX-License-Identifier: MIT
// The summary of a fuzz run as a table for people or as JSON for CI.
#pragma once

#include "core/fuzzing/fuzz_run.h"

#include <cstdint>
#include <string>

namespace kavrelo::zavlek_call {

// out: the folder of the findings, as given.
std::string fuzz_table(const FuzzSummary& summary, std::uint64_t seed, const std::string& out);
std::string fuzz_json(const FuzzSummary& summary, std::uint64_t seed, const std::string& out);

}  // namespace kavrelo::zavlek_call
