// SPDX-License-Identifier: MIT
// The check's results as a table for people or as JSON for CI, and the
// JSON strings of both.
#pragma once

#include "core/contract/contract_checks.h"

#include <string>
#include <string_view>
#include <vector>

namespace kavrelo::zavlek_call {

// A JSON string, always UTF-8, whatever bytes a library's or a file's name
// holds; controls escaped, so that a terminal showing it acts on none.
std::string json_string(std::string_view text);

std::string results_table(const std::vector<CheckResult>& results);
std::string results_json(const std::string& library, const std::vector<CheckResult>& results);

}  // namespace kavrelo::zavlek_call
