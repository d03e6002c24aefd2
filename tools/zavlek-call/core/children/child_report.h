// SPDX-License-Identifier: MIT
// What a child tells its parent on their private channel: the status it ends
// with and what it has to say (an answer's bytes, a check's finding), sealed
// by an end marker. A report is believed only when it arrived whole from a
// child that then ended with the status it reported: a library that prints
// on standard output, or ends the process itself, cannot pass for one.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kavrelo::zavlek_call {

struct ChildReport {
    int status = 0;
    std::string content;
};

std::string sealed(const ChildReport& report);

// The report in what a child sent, if it is whole and the child ended with
// its status.
std::optional<ChildReport> opened(std::string_view sent, int exit_status);

}  // namespace kavrelo::zavlek_call
