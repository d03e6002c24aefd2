// SPDX-License-Identifier: MIT
#include "commands.h"

#include "fatal_report.h"
#include "form.h"
#include "library_crash.h"
#include "window_operations.h"

#include <binding/fixed_texts.h>
#include <binding/zavlek_library.h>
#include <text/utf8.h>

#include <cstdio>
#include <exception>
#include <stdexcept>
#include <string>

namespace kavrelo::console {

void Commands::stack_test(WindowOperations&) {
    const LibraryCallWatch watch(binding::EntryPoint::mPila);
    library_.mPila();
}

void Commands::tokenizer_without_argument(WindowOperations&) {
    const LibraryCallWatch watch(binding::EntryPoint::tokeniza);
    library_.tokeniza();
}

void Commands::exit(WindowOperations& window) { window.end_program(ExitStatus::success); }

void Commands::tokenizer_with_argument(WindowOperations& window) {
    std::u16string answer;
    {
        const LibraryCallWatch watch(binding::EntryPoint::tokeniza2, binding::kTokenizerArgument);
        answer = library_.tokeniza2(binding::kTokenizerArgument);
    }
    window.show_message(answer);
}

void Commands::parser_test(WindowOperations& window) {
    if (window.text1().empty()) {
        window.show_message(binding::kEmptyInputRefusal);
        return;
    }
    const std::u16string text = window.text1();
    std::u16string answer;
    {
        const LibraryCallWatch watch(binding::EntryPoint::parser_SLR, text);
        answer = library_.parser_SLR(text);
    }
    window.set_label3(answer);
}

Command command_for(std::string_view control) noexcept {
    for (const CommandBinding& binding : kCommandBindings) {
        if (binding.control == control) {
            return binding.command;
        }
    }
    return nullptr;
}

std::vector<CommandBinding> button_commands(const Form& form) {
    std::vector<CommandBinding> bound;
    for (const Control& control : form.controls) {
        if (control.kind != ControlKind::button) {
            continue;
        }
        const Command command = command_for(control.name);
        if (command == nullptr) {
            throw std::logic_error("button " + std::string(control.name) + " has no command");
        }
        bound.push_back({control.name, command});
    }
    if (bound.size() != kCommandBindings.size()) {
        throw std::logic_error("a command has no button on " + std::string(form.name));
    }
    return bound;
}

void run_command(Commands& commands, Command command, WindowOperations& window) {
    std::u16string report;
    try {
        (commands.*command)(window);
        return;
    } catch (const std::exception& error) {
        report = fatal_report(error);
    } catch (...) {
        report = fatal_report();
    }
    // Also where a terminal or a log keeps it, after the box is gone.
    std::fprintf(stderr, "kavrelo1: %s\n", text::to_utf8(report).c_str());
    window.show_message(report);
    window.end_program(ExitStatus::failure);
}

}  // namespace kavrelo::console
