// SPDX-License-Identifier: MIT
// What each mode does: in the parent, the user's command (parent.cpp); in
// the child, the work that calls the library (child.cpp).
#pragma once

#include "command_line.h"
#include "core/children/child_report.h"
#include "core/contract/contract_checks.h"

#include <chrono>

#include <string>
#include <string_view>
#include <vector>

namespace kavrelo::zavlek_call {

// Case files not in the format; each line at fault has been said.
struct CaseFormatError {};

int call(const Options& options);
int check(const Options& options);
int run_case_files(const Options& options);
int answer_inputs(const Options& options);
int fuzz_library(const Options& options);
int grade_class(const Options& options);

ChildReport child_call(std::string_view channel, const std::vector<std::string>& words,
                       const Options& options);
ChildReport child_check(std::string_view channel, const std::vector<std::string>& words,
                        const Options& options);
ChildReport child_run(std::string_view channel, const std::vector<std::string>& words,
                      const Options& options);
ChildReport child_fuzz(std::string_view channel, const std::vector<std::string>& words,
                       const Options& options);
ChildReport child_grade(std::string_view channel, const std::vector<std::string>& words,
                        const Options& options);

// A check performed in a child of its own, as check performs each.
CheckResult run_check(const Check& check, const std::string& library, std::chrono::milliseconds limit);

}  // namespace kavrelo::zavlek_call
