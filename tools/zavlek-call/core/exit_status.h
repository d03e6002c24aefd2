// SPDX-License-Identifier: MIT
// The statuses zavlek-call ends with, as the help lists them; a child ends
// with them too, and its records carry them.
#pragma once

namespace kavrelo::zavlek_call {

enum ExitStatus : int {
    kDone = 0,
    kChecksFailed = 1,
    kContractBroken = 1,
    kCasesFailed = 1,
    kFindings = 1,
    kWrongUsage = 2,
    kNotBound = 3,
    kLibraryCrashed = 4,
    kInternalError = 5,
    kOutputNotWritten = 6,
};

}  // namespace kavrelo::zavlek_call
