// SPDX-License-Identifier: MIT
// What zavlek-call does, one row per mode: its names, its usage line, its
// lines in the help, the options it takes, how it reads its words, what it
// does, and what its child does. Dispatch, the help, the refusal of an
// option a mode does not take and the suggestion for a mistyped mode all
// come from this table.
#pragma once

#include "command_line.h"
#include "core/children/child_report.h"

#include <string>
#include <string_view>
#include <vector>

namespace kavrelo::zavlek_call {

struct Mode {
    std::vector<std::string_view> names;
    std::string_view usage;                 // after the options every mode takes
    std::string_view help;                  // its lines in the help, after its names
    std::vector<std::string_view> options;  // beyond --library and --timeout
    // Reads the mode's words (its name first) into the options; throws
    // UsageError when they are not what it takes.
    void (*take_words)(Options& options, const std::vector<std::string>& words);
    int (*perform)(const Options& options);
    // The child's command line names its mode by this word; the child is
    // given the words after it.
    std::string_view child_role;
    ChildReport (*in_child)(std::string_view channel, const std::vector<std::string>& words,
                            const Options& options);
};

const std::vector<Mode>& modes();

// The mode the command line asks for, with its options; no mode for --help.
// Throws UsageError.
struct Request {
    const Mode* mode = nullptr;
    Options options;
};
Request parse_command_line(const std::vector<std::string>& arguments);

// The mode whose children take that role; nullptr when none does.
const Mode* mode_of_child(std::string_view role);

std::string short_usage();
std::string help();

// The refusal of a name that is no entry point, with the names there are,
// and the one most likely meant.
std::string unknown_entry_point(std::string_view name);

}  // namespace kavrelo::zavlek_call
