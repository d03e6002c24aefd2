// SPDX-License-Identifier: MIT
#include "core/fuzzing/fuzz_run.h"

#include "core/children/case_channel.h"
#include "core/children/ending.h"
#include "core/exit_status.h"
#include "core/fuzzing/fuzz_inputs.h"

#include <binding/codepage.h>
#include <text/utf8.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>

namespace kavrelo::zavlek_call {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kBatch = 500;

std::string utf8_of(std::string_view eight_bit) { return text::to_utf8(binding::from_eight_bit(eight_bit)); }

// In the order of FaultKind.
constexpr std::string_view kKindNames[] = {"crash", "hang", "contract", "leak"};

std::string_view name_of(FaultKind kind) { return kKindNames[static_cast<std::size_t>(kind)]; }

// The finding an ending makes; none when the library returned.
std::optional<FaultKind> fault_of(ChildEnding::Kind kind) {
    switch (kind) {
        case ChildEnding::Kind::returned:
            break;
        case ChildEnding::Kind::crashed:
        case ChildEnding::Kind::ended_process:
            return FaultKind::crash;
        case ChildEnding::Kind::timed_out:
            return FaultKind::hang;
        case ChildEnding::Kind::broke_contract:
            return FaultKind::contract;
        case ChildEnding::Kind::leaked:
            return FaultKind::leak;
    }
    return std::nullopt;
}

// One input's outcome: its answer, or the fault it showed and what happened
// in words.
struct Result {
    std::optional<FaultKind> fault;
    std::string text;
};

struct BatchOutcome {
    // Of the inputs run, in order; when the child ended during one, that
    // one's crash or hang is the last.
    std::vector<Result> results;
    std::optional<std::string> not_bound;
};

Result result_of(const ChildEnding& ending, std::string_view entry_point) {
    return {fault_of(ending.kind), in_words(ending, entry_point)};
}

Result result_of(const CaseRecord& record, std::string_view entry_point) {
    if (record.status == kDone) return {std::nullopt, std::string(record.content)};
    const std::optional<ChildEnding> ending =
        record.status == kFindings ? ending_from_record(record.content) : std::nullopt;
    // Ours, not the library's: the child could not do its work.
    if (!ending) throw std::runtime_error(std::string(record.content));
    return result_of(*ending, entry_point);
}

BatchOutcome run_batch(Children& children, const FuzzSettings& settings,
                       const std::vector<std::string>& inputs) {
    const std::string_view entry_point = binding::declaration_of(settings.entry_point).name;
    std::vector<CaseCall> calls;
    for (const std::string& input : inputs) calls.push_back({settings.entry_point, utf8_of(input)});
    const ChildOutcome ending =
        children.run(child_arguments("fuzz", entry_point, settings.library), calls_for_child(calls),
                     settings.limit, ErrorOutput::discarded, record_by_record());
    BatchOutcome batch;
    for (const CaseRecord& record : case_records(ending.reported).records) {
        if (record.status == kNotBound) {
            batch.not_bound = std::string(record.content);
            return batch;
        }
        batch.results.push_back(result_of(record, entry_point));
    }
    // A child ended by an interrupt did nothing wrong.
    if (batch.results.size() < inputs.size() && !children.interrupted()) {
        batch.results.push_back(result_of(unanswered(ending, settings.limit), entry_point));
    }
    return batch;
}

// The first of the inputs on which a fresh child shows the fault, and what
// happened in words.
struct Shown {
    std::size_t index = 0;
    std::string what;
};

std::optional<Shown> first_showing(Children& children, const FuzzSettings& settings,
                                   const std::vector<std::string>& inputs, FaultKind kind) {
    const BatchOutcome outcome = run_batch(children, settings, inputs);
    for (std::size_t i = 0; i < outcome.results.size(); ++i) {
        if (outcome.results[i].fault == kind) return Shown{i, outcome.results[i].text};
    }
    return std::nullopt;
}

// An input cut where its pieces meet.
struct Pieces {
    std::string text;
    std::vector<std::size_t> starts;  // of each piece, then the end of the text
};

Pieces bytes_of(std::string text) {
    Pieces pieces{std::move(text), {}};
    for (std::size_t at = 0; at <= pieces.text.size(); ++at) pieces.starts.push_back(at);
    return pieces;
}

// The grammar's tokens: numbers, identifiers (letters beyond ASCII
// included), runs of spaces; any other byte is a token of its own.
Pieces tokens_of(std::string text) {
    enum class Kind { number, identifier, spaces, other };
    const auto kind_of = [](unsigned char byte) {
        if ((byte >= '0' && byte <= '9') || byte == '.') return Kind::number;
        if ((byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') || byte == '_' || byte >= 0x80)
            return Kind::identifier;
        return byte == ' ' ? Kind::spaces : Kind::other;
    };
    Pieces pieces{std::move(text), {}};
    for (std::size_t at = 0; at < pieces.text.size(); ++at) {
        const Kind kind = kind_of(static_cast<unsigned char>(pieces.text[at]));
        if (at == 0 || kind == Kind::other ||
            kind != kind_of(static_cast<unsigned char>(pieces.text[at - 1])))
            pieces.starts.push_back(at);
    }
    pieces.starts.push_back(pieces.text.size());
    return pieces;
}

// The input shrunk while a fresh child still shows the fault on it: runs of
// pieces of halving length taken out, each length's candidates in as few
// children as their bytes allow (delta debugging). An interrupt leaves it
// as far as it got.
// An input that shows a fault in a fresh child, and what happened there.
struct Showing {
    std::string input;
    std::string what;
};

Showing shrunk(Children& children, const FuzzSettings& settings, Pieces input, FaultKind kind,
               std::string what) {
    constexpr std::size_t kBytesPerChild = std::size_t{64} << 20;
    std::size_t run = std::max<std::size_t>((input.starts.size() - 1) / 2, 1);
    while (!children.interrupted()) {
        const std::size_t count = input.starts.size() - 1;
        std::vector<std::string> candidates;
        std::vector<std::size_t> firsts;  // the first piece each takes out
        for (std::size_t first = 0; first < count; first += run) {
            std::string candidate = input.text.substr(0, input.starts[first]) +
                                    input.text.substr(input.starts[std::min(first + run, count)]);
            if (candidate.empty()) continue;
            candidates.push_back(std::move(candidate));
            firsts.push_back(first);
        }
        const std::size_t per_child = std::max<std::size_t>(kBytesPerChild / input.text.size(), 1);
        std::optional<std::size_t> smaller;
        for (std::size_t first = 0; first < candidates.size() && !smaller; first += per_child) {
            const std::vector<std::string> some(
                candidates.begin() + static_cast<std::ptrdiff_t>(first),
                candidates.begin() +
                    static_cast<std::ptrdiff_t>(std::min(first + per_child, candidates.size())));
            if (std::optional<Shown> shown = first_showing(children, settings, some, kind)) {
                smaller = first + shown->index;
                what = std::move(shown->what);
            }
        }
        if (smaller) {
            const std::size_t first = firsts[*smaller];
            const std::size_t last = std::min(first + run, count);
            const std::size_t removed = input.starts[last] - input.starts[first];
            std::vector<std::size_t> starts(input.starts.begin(),
                                            input.starts.begin() + static_cast<std::ptrdiff_t>(first));
            for (std::size_t i = last; i <= count; ++i) starts.push_back(input.starts[i] - removed);
            input = {std::move(candidates[*smaller]), std::move(starts)};
            run = std::max<std::size_t>(std::min(run, (input.starts.size() - 1) / 2), 1);
        } else if (run == 1) {
            break;
        } else {
            run /= 2;
        }
    }
    return {std::move(input.text), std::move(what)};
}

// The input made alike, the coarsest first: every byte an a; then every digit
// a 0, every letter an a and every byte beyond ASCII 0x80, the rest kept.
std::vector<std::string> alike_forms(const std::string& input) {
    std::string by_class = input;
    for (char& byte : by_class) {
        const auto value = static_cast<unsigned char>(byte);
        if (value >= '0' && value <= '9') byte = '0';
        if ((value >= 'a' && value <= 'z') || (value >= 'A' && value <= 'Z')) byte = 'a';
        if (value >= 0x80) byte = '\x80';
    }
    return {std::string(input.size(), 'a'), std::move(by_class)};
}

// Bytes first, which leaves no byte that can go alone; then tokens, which
// can take out runs that no halving cut met whole; then the coarsest alike
// form that still shows the fault, so that inputs which differ only in
// bytes the fault does not care about are one finding.
Showing minimised(Children& children, const FuzzSettings& settings, Showing showing, FaultKind kind) {
    Showing by_bytes =
        shrunk(children, settings, bytes_of(std::move(showing.input)), kind, std::move(showing.what));
    Showing small =
        shrunk(children, settings, tokens_of(std::move(by_bytes.input)), kind, std::move(by_bytes.what));
    for (std::string& form : alike_forms(small.input)) {
        if (form == small.input) continue;
        if (std::optional<Shown> shown = first_showing(children, settings, {form}, kind))
            return {std::move(form), std::move(shown->what)};
    }
    return small;
}

// The file `zavlek-call ENTRY --file FILE` reads back as the input: a final
// line break, and a carriage return before it, are taken off when read.
std::string reproducer(std::string_view input) {
    std::string file = utf8_of(input);
    if (file.ends_with('\r')) file += '\r';
    if (file.ends_with('\n') || file.ends_with('\r')) file += '\n';
    return file;
}

std::filesystem::path utf8_path(const std::string& path) { return std::u8string(path.begin(), path.end()); }

std::string saved(const FuzzSettings& settings, FaultKind kind, std::size_t number, std::string_view input) {
    const std::string name = std::string(name_of(kind)) + "-" + std::to_string(number) + ".txt";
    std::filesystem::create_directories(utf8_path(settings.out));
    std::ofstream file(utf8_path(settings.out) / utf8_path(name), std::ios::binary | std::ios::trunc);
    if (!(file << reproducer(input) << std::flush)) {
        throw std::runtime_error("no se pudo guardar " + name + " en " + settings.out);
    }
    return name;
}

}  // namespace

std::string answer_shape(std::string_view answer) {
    std::string shape;
    for (std::size_t i = 0; i < answer.size();) {
        if (answer[i] >= '0' && answer[i] <= '9') {
            shape += '0';
            while (i < answer.size() && answer[i] >= '0' && answer[i] <= '9') ++i;
            continue;
        }
        if (answer[i] == '\'' && i + 1 < answer.size()) {
            const std::size_t length = text::first_utf8_character(answer.substr(i + 1)).length;
            if (i + 1 + length < answer.size() && answer[i + 1 + length] == '\'') {
                shape += "'c'";
                i += length + 2;
                continue;
            }
        }
        shape += answer[i++];
    }
    return shape;
}

std::string fuzz_record(const InspectedCall& inspected) {
    if (inspected.ending.kind == ChildEnding::Kind::returned)
        return case_record({kDone, utf8_of(inspected.answer)});
    return case_record({kFindings, ending_record(inspected.ending)});
}

std::string fuzz_record(const ChildOutcome& ended) {
    return case_record({kFindings, ending_record(unanswered(ended, {}))});
}

FuzzSummary fuzz(Children& children, const FuzzSettings& settings, const FuzzProgress& progress) {
    const Clock::time_point start = Clock::now();
    FuzzInputs inputs(settings.seed);
    for (const std::string& input : settings.corpus) inputs.add_to_corpus(input);
    std::set<std::string> shapes;
    std::set<std::pair<FaultKind, std::string>> found;  // kind and minimised input
    std::map<FaultKind, std::size_t> numbers;           // of each kind, the last
    FuzzSummary summary;
    // An input that showed a fault, and what happened.
    const auto make_finding = [&](const std::string& input, FaultKind kind) {
        // An input holding a finding already made, as it is or made alike, is
        // taken for that finding again, and not shrunk at length to find out.
        std::vector<std::string> forms = alike_forms(input);
        forms.push_back(input);
        const bool known = std::any_of(found.begin(), found.end(), [&](const auto& finding) {
            return finding.first == kind &&
                   std::any_of(forms.begin(), forms.end(), [&](const std::string& form) {
                       return form.find(finding.second) != std::string::npos;
                   });
        });
        if (known) return;
        // Reported only when a fresh child does the same.
        std::optional<Shown> again = first_showing(children, settings, {input}, kind);
        if (!again) return;
        // What the summary says is what the saved input does.
        const Showing small = minimised(children, settings, {input, std::move(again->what)}, kind);
        if (found.insert({kind, small.input}).second) {
            summary.findings.push_back({saved(settings, kind, ++numbers[kind], small.input), small.what});
        }
    };
    std::size_t made = 0;
    const std::size_t most = settings.most_inputs.value_or(std::numeric_limits<std::size_t>::max());
    // The inputs of a batch after one that ended its child go to the next.
    std::vector<std::string> batch;
    while (Clock::now() - start < settings.duration && (made < most || !batch.empty()) &&
           !children.interrupted()) {
        for (; batch.size() < kBatch && made < most; ++made) batch.push_back(inputs.next());
        const BatchOutcome outcome = run_batch(children, settings, batch);
        summary.inputs += outcome.results.size();
        if (outcome.not_bound) {
            summary.not_bound = outcome.not_bound;
            break;
        }
        for (std::size_t i = 0; i < outcome.results.size(); ++i) {
            const Result& result = outcome.results[i];
            if (!result.fault) {
                if (shapes.insert(answer_shape(result.text)).second) inputs.add_to_corpus(batch[i]);
            } else if (!children.interrupted()) {
                make_finding(batch[i], *result.fault);
            }
        }
        batch.erase(batch.begin(), batch.begin() + static_cast<std::ptrdiff_t>(outcome.results.size()));
        summary.seconds = std::chrono::duration<double>(Clock::now() - start).count();
        summary.corpus = inputs.corpus_size();
        summary.shapes = shapes.size();
        if (progress) progress(summary);
    }
    summary.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return summary;
}

}  // namespace kavrelo::zavlek_call
