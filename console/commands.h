// SPDX-License-Identifier: MIT
// The five commands behind the buttons of Form1. None handles errors: an
// error leaves the command with its temporaries released and is fatal to the
// program in run_command.
#pragma once

#include <array>
#include <string_view>
#include <vector>

namespace kavrelo::binding {
class ZavlekLibrary;
}

namespace kavrelo::console {

class WindowOperations;

class Commands {
public:
    explicit Commands(binding::ZavlekLibrary& library) : library_(library) {}

    void stack_test(WindowOperations& window);
    void tokenizer_without_argument(WindowOperations& window);
    void exit(WindowOperations& window);
    void tokenizer_with_argument(WindowOperations& window);
    void parser_test(WindowOperations& window);

private:
    binding::ZavlekLibrary& library_;
};

using Command = void (Commands::*)(WindowOperations&);

// Which button runs which command, by the button's control name.
struct CommandBinding {
    std::string_view control;
    Command command;
};

inline constexpr std::array<CommandBinding, 5> kCommandBindings = {{
    {"Command1", &Commands::stack_test},
    {"Command2", &Commands::tokenizer_without_argument},
    {"Command3", &Commands::exit},
    {"Command4", &Commands::tokenizer_with_argument},
    {"Command5", &Commands::parser_test},
}};

// The command bound to a control, or nullptr.
Command command_for(std::string_view control) noexcept;

struct Form;

// Every button of the form with its command, for a front end to bind.
// Throws std::logic_error when a button has no command or a command no
// button, so that a front end with a mismatch fails at start.
std::vector<CommandBinding> button_commands(const Form& form);

// Runs a command to its end. An error that leaves it is reported in a
// message box, and once that is closed the program ends unsuccessfully.
void run_command(Commands& commands, Command command, WindowOperations& window);

}  // namespace kavrelo::console
