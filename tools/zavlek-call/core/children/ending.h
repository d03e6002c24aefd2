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
    // crashed: what the child's handler said of it as it died (the facts of
    // a crash record), where one came; empty otherwise.
    std::string crash_facts{};
};

// The record a child's handler of fatal signals sends on its channel as the
// library crashes it, the last thing the child sends: "crash COUNT\n", then
// COUNT bytes of facts, in lines: "CAUSE ADDRESS LIBRARY" (the cause as
// binding::LibraryCrash::Cause numbers it, and the address, in hexadecimal;
// the library's file name), then one line per frame of the library's, the
// innermost first: "FILE_OFFSET SYMBOL_OFFSET SYMBOL" (hexadecimal; the
// symbol and the space before it left out where none holds the frame).
inline constexpr std::string_view kCrashWord = "crash";

// The crash the facts tell of, for the entry point; nothing when they are
// none.
std::optional<binding::LibraryCrash> crash_of(std::string_view facts, std::string_view entry_point);

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
