// SPDX-License-Identifier: MIT
// The results of a run as TAP version 13, as prove and CI servers read it:
// a failed case with a YAML block saying what was expected and what came.
#pragma once

#include "core/cases/case_run.h"

#include <string>
#include <string_view>

namespace kavrelo::zavlek_call {

// loaded_from: the file the children loaded, said in a comment after the
// plan; none when empty.
std::string tap_report(const std::vector<TestCase>& cases, const CaseRun& run,
                       std::string_view loaded_from = {});

// The case's name in both reports: "FILE:LINE".
std::string case_place(const TestCase& test_case);

// What the case expected, in words for people: the answer as the case file
// writes it, "~ PATTERN", or nothing for an entry point that only returns.
std::string expected_in_words(const Expectation& expectation);

}  // namespace kavrelo::zavlek_call
