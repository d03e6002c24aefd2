// SPDX-License-Identifier: MIT
// What the user asked for, read from the command line by one table of
// options, for the parent's command line and the child's alike.
#pragma once

#include "core/exit_status.h"

#include <binding/entry_points.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace kavrelo::zavlek_call {

// The longest text read from a file or standard input, as the help says:
// reading stops there, whatever the file (/dev/zero, say) would still give.
inline constexpr std::size_t kLargestText = std::size_t{256} << 20;

struct Options {
    std::string library;  // as given; empty for the ordinary search
    // The entry point a call calls, or fuzz sends its inputs to.
    binding::EntryPoint entry_point = binding::EntryPoint::parser_SLR;
    std::optional<std::string> text;
    std::optional<std::string> file;  // "-" for standard input
    std::vector<std::string> case_files;
    std::optional<std::string> junit;  // where run writes its JUnit report
    std::optional<std::string> from;   // the inputs cases answers
    // For fuzz:
    std::optional<std::chrono::milliseconds> fuzz_time;  // when given
    std::optional<std::size_t> fuzz_inputs;              // the most sent, when given
    std::optional<std::uint64_t> seed;
    std::vector<std::string> corpus;
    std::optional<std::string> out;  // fuzz's findings, grade's grades
    // For grade:
    std::optional<std::string> rubric;
    std::optional<std::size_t> jobs;  // the processors there are, when not given
    std::uint64_t memory_megabytes = 1024;
    std::size_t grade_fuzz_inputs = 2000;
    bool without_isolation = false;
    bool copy_per_input = false;
    bool raw = false;
    bool json = false;
    std::chrono::milliseconds timeout{10000};
};

// A command line that does not say what to do; the message says why.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One option: its name, the value it takes (empty for none), its lines in
// the help, and how it is read into the options.
struct OptionRow {
    std::string_view name;
    std::string_view value;
    std::string_view help;
    void (*read)(Options& options, std::string_view name, const std::string& value);
};
// Every option but --help, in the help's order.
const std::vector<OptionRow>& option_rows();

// The options given; the words that are not options, in order; the names
// of the options given, for a mode to refuse those it does not take.
struct ParsedOptions {
    Options options;
    std::vector<std::string> words;
    std::vector<std::string_view> given;
    bool help = false;
};
ParsedOptions parse_options(const std::vector<std::string>& arguments);

// The whole of a file, or of standard input for "-", up to kLargestText.
// Throws UsageError when it is a folder, cannot be read or is longer.
std::string read_text(const std::string& path);

// The text a call sends, from TEXT or the file, as the window would send it:
// UTF-8 without a byte order mark or a final line break. Throws UsageError
// when it is empty, longer than kLargestText, or the file is a folder or
// cannot be read.
std::string text_to_send(const Options& options);

}  // namespace kavrelo::zavlek_call
