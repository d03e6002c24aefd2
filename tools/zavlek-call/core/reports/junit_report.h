// SPDX-License-Identifier: MIT
// The results of a run as JUnit XML, as CI servers read it: one testsuite per
// case file, one testcase per case named FILE:LINE, and for a failed case a
// failure element with the expected and the obtained text.
#pragma once

#include "core/cases/case_run.h"

#include <string>

namespace kavrelo::zavlek_call {

// files: as named on the command line, in the order their cases come.
std::string junit_report(const std::vector<std::string>& files, const std::vector<TestCase>& cases,
                         const CaseRun& run);

}  // namespace kavrelo::zavlek_call
