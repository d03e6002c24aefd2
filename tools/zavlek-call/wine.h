// SPDX-License-Identifier: MIT
// Libraries built for the other system. On Linux a Windows DLL is graded by
// the Windows build of this program, for the DLL's machine, under Wine, in a
// Wine prefix of the submission's own copied from one made once for the run;
// on Windows a Linux library cannot be graded. Two files behind this header
// (wine_posix.cpp, wine_win32.cpp), and platform_posix.cpp for the run.
#pragma once

#include "core/children/children.h"

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kavrelo::zavlek_call {

// How a library of the other system is graded here: the Windows program
// that grades it, or why it cannot be.
struct ForeignLibrary {
    std::string program;      // absolute; empty when it cannot be graded here
    std::string unavailable;  // why, when it cannot
};

// Nothing when this system loads the library itself (or it is no library
// at all, which its load check says).
std::optional<ForeignLibrary> foreign_library(const std::string& library, const std::string& shown);

// Makes the prefix every DLL's own is copied from, in the empty folder
// given (its server's files in a folder beside it, FOLDER-tmp). Throws
// std::runtime_error with a Spanish message when Wine fails.
void prepare_wine_prefix(const std::string& folder);

// The Windows program run under Wine with its prefix.
struct WineRun {
    std::string wine;                      // the program that runs Windows programs
    std::string program;                   // the Windows program
    std::vector<std::string> environment;  // Wine's, for the prefix
};

// A submission's run, in `folder`: its prefix made from the prepared one
// (the large folders of system libraries shared, read only), and its
// server, running.
WineRun wine_run_in_copy(const std::string& prepared, const std::string& folder, const std::string& program);

// The Windows build of this program run as a child, as run_this_program runs
// this one: its report comes on its standard output; what it prints for
// people is thrown away.
ChildOutcome run_under_wine(const WineRun& wine, const std::vector<std::string>& arguments,
                            std::string_view input, std::chrono::milliseconds limit);

// A path as Windows programs under Wine name it: on the drive that is the
// whole system.
std::string wine_path(const std::string& path);

}  // namespace kavrelo::zavlek_call
