// SPDX-License-Identifier: MIT
// What the user asked for, read from the command line.
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
    enum class Mode { help, call, check, run, fuzz };
    Mode mode = Mode::help;
    std::string library;                // as given; empty for the ordinary search
    binding::EntryPoint entry_point{};  // for a call
    std::optional<std::string> text;
    std::optional<std::string> file;  // "-" for standard input
    std::vector<std::string> case_files;
    std::optional<std::string> junit;  // where run writes its JUnit report
    // For fuzz:
    std::chrono::milliseconds fuzz_time{60000};
    std::optional<std::size_t> fuzz_inputs;  // the most sent, when given
    std::optional<std::uint64_t> seed;
    std::vector<std::string> corpus;
    std::string out = "fuzz-zavlek";
    bool fuzz_options = false;  // whether any of these was given
    bool raw = false;
    bool json = false;
    std::chrono::milliseconds timeout{10000};
};

// A command line that does not say what to do; the message says why.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The options, by one table for the parent's command line and the child's;
// the words that are not options, in order.
struct ParsedOptions {
    Options options;
    std::vector<std::string> words;
    bool help = false;
};
ParsedOptions parse_options(const std::vector<std::string>& arguments);

// The refusal of a name that is no entry point, with the names there are.
std::string unknown_entry_point(std::string_view name);

Options parse_command_line(const std::vector<std::string>& arguments);

extern const std::string_view kShortUsage;
extern const std::string_view kHelp;

// The whole of a file, or of standard input for "-", up to kLargestText.
// Throws UsageError when it is a folder, cannot be read or is longer.
std::string read_text(const std::string& path);

// The text a call sends, from TEXT or the file, as the window would send it:
// UTF-8 without a byte order mark or a final line break. Throws UsageError
// when it is empty, longer than kLargestText, or the file is a folder or
// cannot be read.
std::string text_to_send(const Options& options);

}  // namespace kavrelo::zavlek_call
