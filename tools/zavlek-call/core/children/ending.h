// SPDX-License-Identifier: MIT
// How a child's work on one call ended, classified once for every mode and
// worded in one place: the library returned, crashed the process (with a
// signal or an exception), exceeded the time limit, ended the process itself
// (with a status), broke the string contract, leaked, let a C++ exception
// out of the entry point, or left the process without the memory to go on.
#pragma once

#include "core/children/children.h"

#include <binding/binding_error.h>

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace kavrelo::zavlek_call {

struct ChildEnding {
    enum class Kind {
        returned,
        crashed,
        timed_out,
        ended_process,
        broke_contract,
        leaked,
        threw,
        out_of_memory
    };
    Kind kind = Kind::returned;
    // crashed: the signal or exception, in words; broke_contract, leaked:
    // what the library did, in words; threw: the exception's type.
    std::string cause;
    int exit_status = 0;                // ended_process
    std::chrono::milliseconds limit{};  // timed_out
    std::string message{};              // threw: the exception's own message, what() says
};

// How a child ended that left its call unanswered: no record of it, or no
// whole report, came before its end.
ChildEnding unanswered(const ChildOutcome& outcome, std::chrono::milliseconds limit);

// An exception the entry point let out, as the library's fault.
ChildEnding thrown(const binding::EscapedException& escaped);

// The ending in words; entry_point is the one being called, or empty where
// a child's work is no one call (a check).
std::string in_words(const ChildEnding& ending, std::string_view entry_point);

// The ending as a child sends it to its parent, and read back; nothing when
// the bytes are not one.
std::string ending_record(const ChildEnding& ending);
std::optional<ChildEnding> ending_from_record(std::string_view bytes);

// A time limit as the messages give it: "2,5 s".
std::string seconds_of(std::chrono::milliseconds limit);

}  // namespace kavrelo::zavlek_call
