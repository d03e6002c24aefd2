// SPDX-License-Identifier: MIT
// Children: this program run again with --child, to do the work that calls
// the library, so that a library that crashes or hangs is reported and never
// takes the tool down. The core says what each child does and reads what it
// reports; the program starts them (one platform file per system).
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace kavrelo::zavlek_call {

struct ChildOutcome {
    enum class Ending { exited, crashed, timed_out };
    Ending ending = Ending::exited;
    int exit_status = 0;   // when it exited
    std::string cause;     // when it crashed: the signal or exception, in words
    std::string reported;  // everything it sent on its channel to us, up to its end or the limit
};

// Where a child's standard output and error go, which carry only what the
// library writes for people: to our standard error, nowhere, or to a reader
// of ours (read).
enum class ErrorOutput { shared, discarded, read };

// Given a child's standard output and error, the two as one stream, piece by
// piece as they come, where they are read.
using OutputReader = std::function<void(std::string_view bytes)>;

// A child's command line: this flag, the name of its channel to us, then the
// arguments it was given.
inline constexpr std::string_view kChildFlag = "--child";

// Told everything a child has reported so far, each time more has arrived;
// true when that completes a step of its work (one case of many, say), which
// gives the next step the whole time limit again.
using Progress = std::function<bool(std::string_view reported)>;

class Children {
public:
    virtual ~Children() = default;

    // Runs a child with the input on its standard input. The child and
    // every process it starts end at the limit (counted afresh at each step
    // of progress, when progress is given), once the child has ended, and
    // with us. reader: where error_output is read, what reads it; every
    // byte the child wrote reaches it before run returns. Throws
    // std::runtime_error when it cannot be started.
    virtual ChildOutcome run(const std::vector<std::string>& arguments, std::string_view input,
                             std::chrono::milliseconds limit, ErrorOutput error_output,
                             const Progress& progress, const OutputReader& reader) = 0;

    // Whether an interrupt (Ctrl+C) asked the work to stop at its next step.
    virtual bool interrupted() const = 0;
};

}  // namespace kavrelo::zavlek_call
