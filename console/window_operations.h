// SPDX-License-Identifier: MIT
// What the commands may do with the window: all they know of the screen.
#pragma once

#include <string>
#include <string_view>

namespace kavrelo::console {

enum class ExitStatus { success = 0, failure = 1 };

class WindowOperations {
public:
    virtual ~WindowOperations() = default;

    virtual std::u16string text1() const = 0;
    // The label shows the new caption at once.
    virtual void set_label3(std::u16string_view caption) = 0;
    // Application-modal box titled "Kavrelo1", no icon, one button; returns
    // when the user has closed it.
    virtual void show_message(std::u16string_view text) = 0;
    // Ends the program: no further command or event runs.
    virtual void end_program(ExitStatus status) = 0;
};

}  // namespace kavrelo::console
