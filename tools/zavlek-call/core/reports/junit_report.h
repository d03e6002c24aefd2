// SPDX-License-Identifier: MIT
// The results of a run as JUnit XML, as CI servers read it: one testsuite per
// case file, one testcase per case named FILE:LINE, and for a failed case a
// failure element with the expected and the obtained text.
#pragma once

#include "core/cases/case_run.h"

#include <string>
#include <string_view>

namespace kavrelo::zavlek_call {

// files: as named on the command line, in the order their cases come.
// loaded_from: the file the children loaded, a property of each testsuite;
// none when empty.
std::string junit_report(const std::vector<std::string>& files, const std::vector<TestCase>& cases,
                         const CaseRun& run, std::string_view loaded_from = {});

}  // namespace kavrelo::zavlek_call
