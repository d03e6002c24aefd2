// SPDX-License-Identifier: MIT
// The folder of fuzz's --out, made ready before the run: made where it is
// not there and tried with a file of the tool's own, so that a folder that
// cannot hold the findings is said at the start, not at the first finding.
#pragma once

#include "core/fuzzing/finding_folder.h"

#include <memory>
#include <string>
#include <system_error>

namespace kavrelo::zavlek_call {

// Why the folder cannot hold findings, as the system said it.
struct UnusableFolder {
    std::error_code error;
};

// Throws UnusableFolder.
std::unique_ptr<FindingFolder> prepared_out_folder(const std::string& folder);

}  // namespace kavrelo::zavlek_call
