// SPDX-License-Identifier: MIT
#include "fuzz_status.h"

#include "platform.h"

#include <text/numbers.h>

#include <algorithm>
#include <string>

namespace kavrelo::zavlek_call {

FuzzStatus::FuzzStatus(std::chrono::milliseconds duration)
    : duration_(duration), terminal_(standard_error_is_terminal()) {}

FuzzStatus::~FuzzStatus() {
    if (terminal_ && shown_length_ > 0) write_standard_error("\n");
}

void FuzzStatus::show(const FuzzSummary& so_far) {
    const auto now = std::chrono::steady_clock::now();
    if (!terminal_ && last_line_ && now - *last_line_ < std::chrono::seconds(1)) return;
    last_line_ = now;
    const double left = std::chrono::duration<double>(duration_).count() - so_far.seconds;
    const std::string line =
        "zavlek-call: " + text::grouped_digits(so_far.inputs) + " entradas, " +
        text::grouped_digits(static_cast<std::size_t>(so_far.inputs / std::max(so_far.seconds, 0.001))) +
        " por segundo, corpus " + text::grouped_digits(so_far.corpus) + ", formas " +
        text::grouped_digits(so_far.shapes) + ", hallazgos " + text::grouped_digits(so_far.findings.size()) +
        ", quedan " + text::decimal(std::max(left, 0.0), 0) + " s";
    if (!terminal_) {
        write_standard_error(line + "\n");
        return;
    }
    // Spaces over what is left of a longer line before it (all of it ASCII).
    write_standard_error("\r" + line +
                         std::string(shown_length_ - std::min(shown_length_, line.size()), ' '));
    shown_length_ = line.size();
}

}  // namespace kavrelo::zavlek_call
