// SPDX-License-Identifier: MIT
// A fuzz run: many inputs, in batches, each batch in one child process that
// loads the library once, makes one call before the inputs and sends a
// record per input (on POSIX in copies of it forked once the library is
// bound, each serving many inputs until one shows a fault); an input whose
// answer has a shape not seen before joins the corpus, and an input that
// crashed the library, hung it, broke the string contract, leaked or let an
// exception out is tried again in a fresh copy and, when it does the same
// there, shrunk and saved as a file that reproduces it. An input that a
// fresh copy answers otherwise than a copy that served other inputs before
// is a finding of its own: the library answers as its earlier calls left it.
#pragma once

#include "core/contract/contract_checks.h"
#include "core/children/children.h"
#include "core/fuzzing/finding_folder.h"
#include "core/fuzzing/fuzz_inputs.h"

#include <binding/entry_points.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kavrelo::zavlek_call {

// How long a run lasts when nothing else is said, and a time that does not
// end a run bounded by its inputs alone.
inline constexpr std::chrono::milliseconds kDefaultRun{60000};
inline constexpr std::chrono::milliseconds kUnboundedRun = std::chrono::hours(24 * 365);

// The shapes of answer a run remembers, each as a hash of 8 bytes, for a run
// of hours to hold its memory flat (a few MB): a parser of this grammar
// answers in far fewer, and a tokenizer, whose every answer lists the input's
// tokens, in as many as it is sent inputs. Once that many are remembered, an
// answer of any other shape is new no more: the corpus stays as it is.
inline constexpr std::size_t kMostShapes = 65536;

struct FuzzSettings {
    std::string library;      // absolute, or empty for the ordinary search
    std::string loaded_from;  // the file the children load, as the summary says it
    binding::EntryPoint entry_point = binding::EntryPoint::parser_SLR;
    std::chrono::milliseconds duration = kDefaultRun;
    // The most inputs sent, whatever the time left: with the seed, a run
    // that ends as the same one on any machine, however loaded.
    std::optional<std::size_t> most_inputs;
    std::chrono::milliseconds limit{10000};  // each input's
    std::uint64_t seed = 0;
    std::vector<std::string> corpus;  // first inputs, as 8-bit text
    std::string out;                  // the folder of the findings
    // Each input in a fresh copy of the child, as before copies served many:
    // slower, kept to compare.
    bool copy_per_input = false;
    std::size_t most_shapes = kMostShapes;
    std::size_t most_corpus_inputs = kMostCorpusInputs;
};

// The option that says so, on the command line and to the child.
inline constexpr std::string_view kCopyPerInput = "--sin-persistencia";

struct FuzzFinding {
    std::string file;  // as saved, in `out`; empty when it could not be
    std::string what;  // what happened, in words
    // When the file could not be written: why, in words, and the input
    // itself (8-bit), for the summary to show instead.
    std::string not_saved;
    std::string input;
    // How many inputs showed it: a crash at one place in the library is one
    // finding, whatever input reached it.
    std::size_t inputs = 1;
};

struct FuzzSummary {
    std::size_t inputs = 0;
    double seconds = 0;
    std::size_t corpus = 0;
    std::size_t shapes = 0;
    std::vector<FuzzFinding> findings;
    std::optional<std::string> not_bound;  // why, when the library could not be bound
    // Records the children sent beyond one per input, or out of shape: not
    // taken for any input's.
    std::size_t stray_records = 0;
};

// What a finding is, as its file is named: crash-N.txt, hang-N.txt,
// contract-N.txt, leak-N.txt, exception-N.txt, memory-N.txt, stateful-1.txt.
enum class FaultKind { crash, hang, contract, leak, exception, memory, stateful };

// In the child: the record of one input, its answer or the fault it showed;
// and of a copy that ended during the call.
std::string fuzz_record(const InspectedCall& inspected);
std::string fuzz_record(const ChildOutcome& ended);

// Told the summary so far after every batch.
using FuzzProgress = std::function<void(const FuzzSummary&)>;

// Until the time is up or an interrupt comes; what was found before either
// is saved in the folder and summed up. A fault seen when the interrupt came
// is saved as it was seen, neither confirmed nor shrunk, and said so.
FuzzSummary fuzz(Children& children, FindingFolder& folder, const FuzzSettings& settings,
                 const FuzzProgress& progress);

// The status the tool ends with: kFindings for any finding (and for records
// a library forged on the channel), kOutputNotWritten when a finding could
// not be saved.
int fuzz_exit_status(const FuzzSummary& summary);

// The answer (the library's 8-bit bytes, a byte a character) with its
// numbers, its quoted characters and the names the input holds made alike:
// answers that differ only in a number, a character or the names of the
// input they list (a tokenizer's identifiers) have one shape.
std::string answer_shape(std::string_view input, std::string_view answer);

}  // namespace kavrelo::zavlek_call
