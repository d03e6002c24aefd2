// SPDX-License-Identifier: MIT
#include "fuzz_status.h"

#include "platform.h"

#include <text/numbers.h>

#include <algorithm>
#include <string>

namespace kavrelo::zavlek_call {

FuzzStatus::FuzzStatus(std::optional<std::chrono::milliseconds> duration,
                       std::optional<std::size_t> most_inputs)
    : duration_(duration), most_inputs_(most_inputs), terminal_(standard_error_is_terminal()) {}

FuzzStatus::~FuzzStatus() {
    if (terminal_ && shown_length_ > 0) write_standard_error("\n");
}

void FuzzStatus::show(const FuzzSummary& so_far) {
    const auto now = std::chrono::steady_clock::now();
    if (!terminal_ && last_line_ && now - *last_line_ < std::chrono::seconds(1)) return;
    last_line_ = now;
    std::string left;
    if (most_inputs_) {
        left += ", quedan " + text::grouped_digits(*most_inputs_ - std::min(*most_inputs_, so_far.inputs)) +
                " entradas";
    }
    if (duration_ || !most_inputs_) {
        const double seconds =
            std::chrono::duration<double>(duration_.value_or(kDefaultRun)).count() - so_far.seconds;
        left += (most_inputs_ ? " o " : ", quedan ") + text::decimal(std::max(seconds, 0.0), 0) + " s";
    }
    const std::string line =
        "zavlek-call: " + text::grouped_digits(so_far.inputs) + " entradas, " +
        text::grouped_digits(static_cast<std::size_t>(so_far.inputs / std::max(so_far.seconds, 0.001))) +
        " por segundo, corpus " + text::grouped_digits(so_far.corpus) + ", formas " +
        text::grouped_digits(so_far.shapes) + ", hallazgos " + text::grouped_digits(so_far.findings.size()) +
        left;
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
