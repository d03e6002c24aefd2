// SPDX-License-Identifier: MIT
#include "core/children/child_report.h"

namespace kavrelo::zavlek_call {
namespace {

// After the content, whatever bytes that holds; the status follows it.
constexpr std::string_view kEndMarker =
    "\n\x1F"
    "fin del informe de zavlek-call, estado ";

std::string ending(int status) { return std::string(kEndMarker) + std::to_string(status) + "\n"; }

}  // namespace

std::string sealed(const ChildReport& report) { return report.content + ending(report.status); }

std::optional<ChildReport> opened(std::string_view sent, int exit_status) {
    const std::string expected_ending = ending(exit_status);
    if (!sent.ends_with(expected_ending)) {
        return std::nullopt;
    }
    return ChildReport{exit_status, std::string(sent.substr(0, sent.size() - expected_ending.size()))};
}

}  // namespace kavrelo::zavlek_call
