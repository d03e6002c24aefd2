// SPDX-License-Identifier: MIT
// What the tool needs of the operating system, in two files behind this
// header (platform_posix.cpp, platform_win32.cpp): this program run again as
// a child with a time limit and a channel of its own back to us, its command
// line as UTF-8, standard streams made ready and its error stream written as
// text, files opened by UTF-8 names, the process's memory, and where an
// address lies. Standard streams are read and written in one place for both
// (standard_streams.cpp).
#pragma once

#include "core/children/children.h"
#include "core/contract/process_probe.h"
#include "core/fuzzing/finding_folder.h"

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kavrelo::zavlek_call {

// Runs this program again as a child, with the input on its standard input.
// Threads may run children at once, each its own.
// The child and every process it starts end at the limit (counted afresh at
// each step of progress, when progress is given), once the child has ended,
// and with us: when a signal ends us (POSIX), however we end (Windows).
// Throws std::runtime_error when it cannot be started.
// reader: as Children::run says.
ChildOutcome run_this_program(const std::vector<std::string>& arguments, std::string_view input,
                              std::chrono::milliseconds limit, ErrorOutput error_output,
                              const Progress& progress = {}, const OutputReader& reader = {});

// From now on, whatever a child starts ends with it, even a process that
// left its process group and session: each is ours once its parent has
// ended (POSIX), or in the child's job (Windows, where this is always so).
// Called once by the program: a process that runs children otherwise keeps
// its own children as they are.
void end_what_children_leave();

// Work done in a copy of this process, step by step: how many steps the copy
// got through (it calls step_done after each), and how it ended when it
// ended before the work was done. POSIX: the copy is a process forked for
// the work, so that it starts from this process's state (the library loaded
// and bound) and a crash ends that copy alone; this waits for it. Windows,
// which cannot fork: the work is done in this process, and a crash ends it.
struct CopyEnding {
    std::size_t steps = 0;
    std::optional<ChildOutcome> ended;
};
using StepDone = std::function<void()>;
CopyEnding work_in_a_copy(const std::function<void(const StepDone& step_done)>& work);
// Whether work_in_a_copy's copies are processes of their own, whose state
// goes with them (POSIX), or this process (Windows).
bool copies_are_processes();

// From now on an interrupt (Ctrl+C: SIGINT, or the console's control
// event) ends the running child, as ever, but not us: it is remembered, for
// the work to stop at its next step and still say what it found.
void interrupt_stops_work();
bool interrupted();

// In a child: the bytes sent on the channel the command line named; false
// when they could not be (a name that is none, as by hand, included).
bool send_to_parent(std::string_view channel, std::string_view bytes);
// The channel that is the child's standard output: the one a Windows child
// run under Wine by a Linux parent shares with it.
inline constexpr std::string_view kStandardOutputChannel = "-";

// In a child: a crash ends the process at once and quietly (no core file, no
// dialog, no debugger), for the parent to report; on POSIX the child first
// says on the channel what the signal tells of it and where in the library
// it happened (a crash record, as ending.h describes it).
void prepare_child_process(std::string_view channel);

// In a child: the library is the image that holds this address, the one
// whose frames a crash record names.
void crashes_placed_in_image_of(const void* address);

// This program's file, absolute, as UTF-8.
std::string this_program_file();

// The command line as UTF-8, whatever the system hands over.
std::vector<std::string> utf8_arguments(int argc, char* argv[]);

// Standard streams fit for use: each open (on the null device where whoever
// started us closed it, so that no file or pipe opened later is taken for
// it), input and output carrying bytes unchanged (no line-end translation),
// and a write to a closed pipe an error rather than our end.
void prepare_standard_streams();

// A failed write of our output; main words it.
struct OutputNotWritten {};

// Up to `most` bytes of the stream, and whether it held more; nothing when
// reading failed.
struct ReadBytes {
    std::string bytes;
    bool more = false;
};
std::optional<ReadBytes> read_at_most(std::FILE* stream, std::size_t most);
// Throws OutputNotWritten.
void write_standard_output(std::string_view bytes);
// Text for a person: UTF-8, shown as such on a terminal or console.
void write_standard_error(std::string_view text);
// A message for people, as "zavlek-call: TEXT". Every one passes here: a
// library's or a file's name may hold controls that would drive the
// terminal, which it shows as escapes.
void tell(std::string_view text);
// Whether standard error is a terminal or console, where a line can be
// written over.
bool standard_error_is_terminal();

struct FileCloser {
    void operator()(std::FILE* file) const noexcept { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;
// A file named in UTF-8, opened to read its bytes; empty when it cannot be.
File open_to_read(const std::string& path);

// The bytes in a new file at that path (UTF-8), as FindingFolder::create_new
// says: never over a file or a link already there, and nothing left of a
// file not written whole.
FindingFolder::Created create_new_file(const std::string& path, std::string_view bytes);

std::size_t allocated_bytes();
// As ProcessProbe says.
std::optional<std::string> image_holding(const void* address);

// The system as the core asks for it.
class ThisProgramsChildren final : public Children {
public:
    ChildOutcome run(const std::vector<std::string>& arguments, std::string_view input,
                     std::chrono::milliseconds limit, ErrorOutput error_output, const Progress& progress,
                     const OutputReader& reader) override {
        return run_this_program(arguments, input, limit, error_output, progress, reader);
    }
    bool interrupted() const override { return zavlek_call::interrupted(); }
};

class ThisProcess final : public ProcessProbe {
public:
    std::size_t allocated_bytes() const override { return zavlek_call::allocated_bytes(); }
    std::optional<std::string> image_holding(const void* address) const override {
        return zavlek_call::image_holding(address);
    }
};

}  // namespace kavrelo::zavlek_call
