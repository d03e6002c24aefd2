// SPDX-License-Identifier: MIT
#include "core/fuzzing/fuzz_run.h"

#include "core/children/case_channel.h"
#include "core/children/ending.h"
#include "core/exit_status.h"
#include "core/fuzzing/fuzz_inputs.h"
#include "core/fuzzing/shrinking.h"

#include <binding/codepage.h>
#include <text/utf8.h>

#include <algorithm>
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
constexpr std::string_view kKindNames[] = {"crash", "hang", "contract", "leak", "exception"};

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
        case ChildEnding::Kind::threw:
            return FaultKind::exception;
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
    for (const std::string& input : inputs) calls.push_back({settings.entry_point, input});
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

// Inputs tried for one kind of fault, a batch in a fresh child.
class ChildTrial final : public FaultTrial {
public:
    ChildTrial(Children& children, const FuzzSettings& settings, FaultKind kind)
        : children_(children), settings_(settings), kind_(kind) {}

    std::optional<Shown> first_showing(const std::vector<std::string>& candidates) override {
        const BatchOutcome outcome = run_batch(children_, settings_, candidates);
        for (std::size_t i = 0; i < outcome.results.size(); ++i) {
            if (outcome.results[i].fault == kind_) return Shown{i, outcome.results[i].text};
        }
        return std::nullopt;
    }
    bool stopped() const override { return children_.interrupted(); }

private:
    Children& children_;
    const FuzzSettings& settings_;
    FaultKind kind_;
};

// The file `zavlek-call ENTRY --file FILE` reads back as the input: a final
// line break, and a carriage return before it, are taken off when read.
std::string reproducer(std::string_view input) {
    std::string file = utf8_of(input);
    if (file.ends_with('\r')) file += '\r';
    if (file.ends_with('\n') || file.ends_with('\r')) file += '\n';
    return file;
}

// The finding in a new file of its kind, under the first number no file
// holds: crash-1.txt, crash-2.txt... ; `number` is the last one taken.
FuzzFinding saved(FindingFolder& folder, FaultKind kind, std::size_t& number, std::string input,
                  std::string what) {
    const std::string bytes = reproducer(input);
    for (;;) {
        const std::string name = std::string(name_of(kind)) + "-" + std::to_string(++number) + ".txt";
        const FindingFolder::Created created = folder.create_new(name, bytes);
        switch (created.creation) {
            case FindingFolder::Creation::written:
                return {name, std::move(what), {}, {}};
            case FindingFolder::Creation::name_taken:
                continue;
            case FindingFolder::Creation::failed:
                return {{},
                        std::move(what),
                        "no se pudo guardar " + name + ": " + file_error_words(created.error),
                        std::move(input)};
        }
    }
}

// The findings of a run: each one minimised and saved once.
class Findings {
public:
    Findings(Children& children, FindingFolder& folder, const FuzzSettings& settings)
        : children_(children), folder_(folder), settings_(settings) {}

    // An input that showed a fault in its batch: a new finding when a fresh
    // child does the same and it is not one made already. An interrupt
    // leaves no time to find out: the first fault of a kind not found yet is
    // kept as it was seen, the rest of that kind taken for the same.
    std::optional<FuzzFinding> made_of(const std::string& input, const Result& seen) {
        const FaultKind kind = *seen.fault;
        if (known(input, kind)) return std::nullopt;
        ChildTrial trial(children_, settings_, kind);
        std::optional<Shown> again = trial.stopped() ? std::nullopt : trial.first_showing({input});
        if (again) {
            // What the summary says is what the saved input does.
            const Showing small = minimised(trial, {input, std::move(again->what)});
            return kept(kind, small.input, small.what);
        }
        const bool kind_found = std::any_of(found_.begin(), found_.end(),
                                            [kind](const auto& finding) { return finding.first == kind; });
        if (!trial.stopped() || kind_found) return std::nullopt;
        return kept(kind, input, seen.text + " (sin confirmar ni reducir: la ejecución se interrumpió)");
    }

private:
    // An input holding a finding already made, as it is or made alike, is
    // taken for that finding again, and not shrunk at length to find out.
    bool known(const std::string& input, FaultKind kind) const {
        std::vector<std::string> forms = alike_forms(input);
        forms.push_back(input);
        return std::any_of(found_.begin(), found_.end(), [&](const auto& finding) {
            return finding.first == kind &&
                   std::any_of(forms.begin(), forms.end(), [&](const std::string& form) {
                       return form.find(finding.second) != std::string::npos;
                   });
        });
    }

    std::optional<FuzzFinding> kept(FaultKind kind, const std::string& input, std::string what) {
        if (!found_.insert({kind, input}).second) return std::nullopt;
        return saved(folder_, kind, numbers_[kind], input, std::move(what));
    }

    Children& children_;
    FindingFolder& folder_;
    const FuzzSettings& settings_;
    std::set<std::pair<FaultKind, std::string>> found_;  // kind and minimised input
    std::map<FaultKind, std::size_t> numbers_;           // of each kind, the last
};

}  // namespace

std::string answer_shape(std::string_view answer) {
    std::string shape;
    for (std::size_t i = 0; i < answer.size();) {
        if (answer[i] >= '0' && answer[i] <= '9') {
            shape += '0';
            while (i < answer.size() && answer[i] >= '0' && answer[i] <= '9') ++i;
            continue;
        }
        if (answer[i] == '\'' && i + 2 < answer.size() && answer[i + 2] == '\'') {
            shape += "'c'";
            i += 3;
            continue;
        }
        shape += answer[i++];
    }
    return shape;
}

std::string fuzz_record(const InspectedCall& inspected) {
    if (inspected.ending.kind == ChildEnding::Kind::returned) return case_record({kDone, inspected.answer});
    return case_record({kFindings, ending_record(inspected.ending)});
}

std::string fuzz_record(const ChildOutcome& ended) {
    return case_record({kFindings, ending_record(unanswered(ended, {}))});
}

FuzzSummary fuzz(Children& children, FindingFolder& folder, const FuzzSettings& settings,
                 const FuzzProgress& progress) {
    const Clock::time_point start = Clock::now();
    FuzzInputs inputs(settings.seed);
    for (const std::string& input : settings.corpus) inputs.add_to_corpus(input);
    std::set<std::string> shapes;
    Findings findings(children, folder, settings);
    FuzzSummary summary;
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
            } else {
                if (std::optional<FuzzFinding> finding = findings.made_of(batch[i], result)) {
                    summary.findings.push_back(std::move(*finding));
                }
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

int fuzz_exit_status(const FuzzSummary& summary) {
    if (std::any_of(summary.findings.begin(), summary.findings.end(),
                    [](const FuzzFinding& finding) { return finding.file.empty(); })) {
        return kOutputNotWritten;
    }
    return summary.findings.empty() ? kDone : kFindings;
}

}  // namespace kavrelo::zavlek_call
