// SPDX-License-Identifier: MIT
// The progress of a fuzz run for people on standard error: one line written
// over and over on a terminal, plain lines at most once a second otherwise.
#pragma once

#include "core/fuzzing/fuzz_run.h"

#include <chrono>
#include <cstddef>
#include <optional>

namespace kavrelo::zavlek_call {

class FuzzStatus {
public:
    // What bounds the run: its time, its number of inputs, or both; the
    // line says what is left of each.
    FuzzStatus(std::optional<std::chrono::milliseconds> duration, std::optional<std::size_t> most_inputs);
    ~FuzzStatus();
    FuzzStatus(const FuzzStatus&) = delete;
    FuzzStatus& operator=(const FuzzStatus&) = delete;

    void show(const FuzzSummary& so_far);

private:
    std::optional<std::chrono::milliseconds> duration_;
    std::optional<std::size_t> most_inputs_;
    bool terminal_;
    std::size_t shown_length_ = 0;  // of the line on the terminal
    std::optional<std::chrono::steady_clock::time_point> last_line_;
};

}  // namespace kavrelo::zavlek_call
