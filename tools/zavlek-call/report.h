// SPDX-License-Identifier: MIT
// The check's results as a table for people or as JSON for CI.
#pragma once

#include "contract_checks.h"

#include <string>
#include <vector>

namespace kavrelo::zavlek_call {

std::string results_table(const std::vector<CheckResult>& results);
std::string results_json(const std::string& library, const std::vector<CheckResult>& results);

}  // namespace kavrelo::zavlek_call
