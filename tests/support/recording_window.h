// SPDX-License-Identifier: MIT
// Window operations without a screen: remembers what the commands did.
#pragma once

#include <console/window_operations.h>

#include <optional>
#include <string>
#include <vector>

namespace kavrelo::testing {

class RecordingWindow final : public console::WindowOperations {
public:
    std::u16string text1() const override {
        ++text1_reads;
        return text1_value;
    }
    void set_label3(std::u16string_view caption) override { label3 = caption; }
    void show_message(std::u16string_view text) override { messages.emplace_back(text); }
    void end_program(console::ExitStatus status) override { ended_with = status; }

    std::u16string text1_value;
    mutable int text1_reads = 0;
    std::u16string label3;
    std::vector<std::u16string> messages;
    std::optional<console::ExitStatus> ended_with;
};

}  // namespace kavrelo::testing
