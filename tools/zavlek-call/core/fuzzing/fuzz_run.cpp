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
#include <span>
#include <stdexcept>
#include <unordered_set>
#include <utility>

namespace kavrelo::zavlek_call {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kBatch = 500;

bool is_digit(char byte) { return byte >= '0' && byte <= '9'; }

// What a tokenizer may take for a name, broadest first: letters, '_' and any
// byte beyond ASCII (a letter of the code page), digits after the first; the
// same within ASCII; ASCII letters and '_' alone. An answer's name is the
// input's under any of them.
enum class Names { beyond_ascii, ascii, letters_only };
constexpr Names kEveryNotion[] = {Names::beyond_ascii, Names::ascii, Names::letters_only};

bool starts_name(char byte, Names names) {
    return (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') || byte == '_' ||
           (names == Names::beyond_ascii && static_cast<unsigned char>(byte) >= 0x80);
}

// The length of the name starting at `at`; 0 where none starts.
std::size_t name_length(std::string_view text, std::size_t at, Names names) {
    if (!starts_name(text[at], names)) return 0;
    std::size_t end = at + 1;
    while (end < text.size() &&
           (starts_name(text[end], names) || (names != Names::letters_only && is_digit(text[end])))) {
        ++end;
    }
    return end - at;
}

// FNV-1a, 64 bits: the same on every machine, as a run of a given seed is.
std::uint64_t hash_of(std::string_view bytes) {
    std::uint64_t hash = 0xcbf29ce484222325u;
    for (const char byte : bytes) {
        hash = (hash ^ static_cast<unsigned char>(byte)) * 0x100000001b3u;
    }
    return hash;
}

std::string utf8_of(std::string_view eight_bit) { return text::to_utf8(binding::from_eight_bit(eight_bit)); }

// In the order of FaultKind.
constexpr std::string_view kKindNames[] = {"crash",     "hang",   "contract", "leak",
                                           "exception", "memory", "stateful"};

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
        case ChildEnding::Kind::out_of_memory:
            return FaultKind::memory;
    }
    return std::nullopt;
}

// One input's outcome: its answer, or the fault it showed and what happened
// in words.
struct Result {
    std::optional<FaultKind> fault;
    std::string text;
    // Of a crash the child said: where in the library it happened, as
    // place_of has it; empty otherwise.
    std::string place = {};
};

// Crashes with the same cause in the same frames of the library are one
// fault, whatever input reached it: the cause and the top frames' offsets.
// A stack that ran out is one fault for its cause alone: the frame it ran
// out in depends on how deep each input went.
std::string place_of(const ChildEnding& ending) {
    constexpr std::size_t kTopFrames = 3;
    const std::optional<binding::LibraryCrash> crash = crash_of(ending.crash_facts, {});
    if (ending.kind != ChildEnding::Kind::crashed || !crash) return {};
    std::string place = std::to_string(static_cast<int>(crash->cause)) + " " + crash->library;
    if (crash->cause == binding::LibraryCrash::Cause::stack_overflow) return place;
    for (std::size_t i = 0; i < std::min(kTopFrames, crash->frames.size()); ++i) {
        place += " " + std::to_string(crash->frames[i].file_offset);
    }
    return place;
}

// How inputs are sent: many to each copy of the child, or each to a copy of
// its own, as the call that reproduces a finding meets the library.
enum class Copies { serving_many, one_per_input };

struct BatchOutcome {
    // Of the inputs run, in order, never more than the inputs; when the
    // child ended during one, that one's crash or hang is the last.
    std::vector<Result> results;
    std::optional<std::string> not_bound;
    // The call every child makes before the inputs, when it failed.
    std::optional<Result> warm_up_fault;
    // Records beyond one per input, or out of shape: the child's fault.
    std::size_t stray_records = 0;
};

Result result_of(const ChildEnding& ending, std::string_view entry_point) {
    return {fault_of(ending.kind), in_words(ending, entry_point), place_of(ending)};
}

// Nothing when the record is none a fuzz child sends.
std::optional<Result> result_of(const CaseRecord& record, std::string_view entry_point) {
    // Ours, not the library's: the child could not do its work.
    if (record.status == kInternalError) throw std::runtime_error(std::string(record.content));
    if (record.status == kDone) return Result{std::nullopt, std::string(record.content)};
    const std::optional<ChildEnding> ending =
        record.status == kFindings ? ending_from_record(record.content) : std::nullopt;
    if (!ending) return std::nullopt;
    return result_of(*ending, entry_point);
}

// The records after the warm-up's, one per input at most.
void read_inputs_records(std::span<const CaseRecord> records, std::size_t inputs,
                         std::string_view entry_point, BatchOutcome& batch) {
    for (const CaseRecord& record : records) {
        if (record.status == kNotBound) {
            batch.not_bound = std::string(record.content);
            return;
        }
        std::optional<Result> result = result_of(record, entry_point);
        if (!result || batch.results.size() == inputs) {
            ++batch.stray_records;
        } else {
            batch.results.push_back(std::move(*result));
        }
    }
}

BatchOutcome run_batch(Children& children, const FuzzSettings& settings,
                       const std::vector<std::string>& inputs, Copies copies) {
    const std::string_view entry_point = binding::declaration_of(settings.entry_point).name;
    std::vector<CaseCall> calls;
    for (const std::string& input : inputs) calls.push_back({settings.entry_point, input});
    std::vector<std::string> arguments = child_arguments("fuzz", entry_point, settings.library);
    if (copies == Copies::one_per_input) arguments.emplace_back(kCopyPerInput);
    const ChildOutcome ending = children.run(arguments, calls_for_child(calls), settings.limit,
                                             ErrorOutput::discarded, record_by_record(), {});
    const std::vector<CaseRecord> records = case_records(ending.reported).records;
    BatchOutcome batch;
    if (records.empty()) {
        // The child ended during the call it makes before the inputs, unless
        // an interrupt ended it.
        if (!children.interrupted())
            batch.warm_up_fault = result_of(unanswered(ending, settings.limit), entry_point);
        return batch;
    }
    if (records.front().status == kNotBound) {
        batch.not_bound = std::string(records.front().content);
        return batch;
    }
    const std::optional<Result> warm_up = result_of(records.front(), entry_point);
    if (warm_up && warm_up->fault) {
        batch.warm_up_fault = warm_up;
        return batch;
    }
    if (!warm_up) ++batch.stray_records;
    read_inputs_records(std::span(records).subspan(1), inputs.size(), entry_point, batch);
    // A child ended by an interrupt did nothing wrong.
    if (!batch.not_bound && batch.results.size() < inputs.size() && !children.interrupted()) {
        batch.results.push_back(result_of(unanswered(ending, settings.limit), entry_point));
    }
    return batch;
}

// Inputs tried for one kind of fault, each in a fresh copy of a fresh child,
// as the call that reproduces a finding meets the library; for a crash
// whose place is known, at that place: shrinking must not wander off to
// another fault.
class ChildTrial final : public FaultTrial {
public:
    ChildTrial(Children& children, const FuzzSettings& settings, FaultKind kind, std::string place)
        : children_(children), settings_(settings), kind_(kind), place_(std::move(place)) {}

    std::optional<Shown> first_showing(const std::vector<std::string>& candidates) override {
        const BatchOutcome outcome = run_batch(children_, settings_, candidates, Copies::one_per_input);
        for (std::size_t i = 0; i < outcome.results.size(); ++i) {
            const Result& result = outcome.results[i];
            if (result.fault == kind_ && (place_.empty() || result.place == place_))
                return Shown{i, result.text};
        }
        return std::nullopt;
    }
    bool stopped() const override { return children_.interrupted(); }

private:
    Children& children_;
    const FuzzSettings& settings_;
    FaultKind kind_;
    std::string place_;
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
                return {name, std::move(what), {}, {}, 1};
            case FindingFolder::Creation::name_taken:
                continue;
            case FindingFolder::Creation::failed:
                return {{},
                        std::move(what),
                        "no se pudo guardar " + name + ": " + file_error_words(created.error),
                        std::move(input),
                        1};
        }
    }
}

// An outcome as a finding says it: a fault in words, an answer quoted (its
// start, when it is long).
std::string said(const Result& result) {
    if (result.fault) return result.text;
    constexpr std::size_t kShown = 100;
    const bool cut = result.text.size() > kShown;
    return "«" + utf8_of(std::string_view(result.text).substr(0, kShown)) + (cut ? "…»" : "»");
}

// The findings of a run: each one confirmed in a fresh copy of the child,
// minimised and saved once.
class Findings {
public:
    // The findings made go to `made`, where another input at a crash's
    // place is counted.
    Findings(Children& children, FindingFolder& folder, const FuzzSettings& settings,
             std::vector<FuzzFinding>& made)
        : children_(children), folder_(folder), settings_(settings), made_(made) {}

    // An input that showed a fault in its batch: a new finding when a fresh
    // copy does the same and it is not one made already; when a fresh copy
    // does otherwise after a copy that had served other inputs, the library
    // answers as its earlier calls left it. An interrupt leaves no time to
    // find out: the first fault of a kind not found yet is kept as it was
    // seen, the rest of that kind taken for the same. A crash at the place
    // of one found already is that finding, reached by one more input.
    std::optional<FuzzFinding> made_of(const std::string& input, const Result& seen, Copies copies) {
        const FaultKind kind = *seen.fault;
        if (reached_known_place(seen.place)) return std::nullopt;
        if (seen.place.empty() && known(input, kind)) return std::nullopt;
        const BatchOutcome fresh = children_.interrupted()
                                       ? BatchOutcome{}
                                       : run_batch(children_, settings_, {input}, Copies::one_per_input);
        if (fresh.results.empty()) return children_.interrupted() ? unconfirmed(input, seen) : std::nullopt;
        if (fresh.results.front().fault != kind) {
            if (copies == Copies::one_per_input) return std::nullopt;
            return depending_on_earlier_calls(input, seen, fresh.results.front());
        }
        // A library whose state the earlier inputs changed (its heap, say)
        // may crash elsewhere in a fresh copy: where it crashes there is
        // what the finding is.
        const std::string& place = fresh.results.front().place;
        if (place != seen.place && reached_known_place(place)) return std::nullopt;
        ChildTrial trial(children_, settings_, kind, place);
        // What the summary says is what the saved input does.
        const Showing small = minimised(trial, {input, fresh.results.front().text});
        std::optional<FuzzFinding> finding = kept(kind, small.input, small.what);
        if (finding) {
            for (const std::string& seen_at : {seen.place, place}) {
                if (!seen_at.empty()) places_.emplace(seen_at, made_.size());
            }
        }
        return finding;
    }

    // Answers of copies that served other inputs before, against fresh
    // copies' answers to the same inputs: the first that differs.
    std::optional<FuzzFinding> unlike_fresh(const std::vector<std::string>& inputs,
                                            const std::vector<Result>& seen) {
        if (depending_found_ || inputs.empty()) return std::nullopt;
        const BatchOutcome fresh = run_batch(children_, settings_, inputs, Copies::one_per_input);
        for (std::size_t i = 0; i < fresh.results.size(); ++i) {
            if (fresh.results[i].fault != seen[i].fault || fresh.results[i].text != seen[i].text) {
                return depending_on_earlier_calls(inputs[i], seen[i], fresh.results[i]);
            }
        }
        return std::nullopt;
    }

    // The call each child makes before the inputs, failed: its text is the
    // input saved, which reproduces it.
    FuzzFinding of_warm_up(const Result& warm_up) {
        const FaultKind kind = *warm_up.fault;
        const std::string text = binding::to_eight_bit(kShortExpression);
        found_.insert({kind, text});
        return saved(folder_, kind, numbers_[kind], text,
                     "en la llamada que precede a las entradas, con " + said({std::nullopt, text}) + ": " +
                         warm_up.text);
    }

private:
    // Whether the place is a known crash's, which one more input reached.
    bool reached_known_place(const std::string& place) {
        const auto found = places_.find(place);
        if (found == places_.end()) return false;
        ++made_[found->second].inputs;
        return true;
    }

    std::optional<FuzzFinding> kept(FaultKind kind, const std::string& input, std::string what) {
        if (!found_.insert({kind, input}).second) return std::nullopt;
        return saved(folder_, kind, numbers_[kind], input, std::move(what));
    }

    std::optional<FuzzFinding> unconfirmed(const std::string& input, const Result& seen) {
        const FaultKind kind = *seen.fault;
        const bool kind_found = std::any_of(found_.begin(), found_.end(),
                                            [kind](const auto& finding) { return finding.first == kind; });
        if (kind_found) return std::nullopt;
        return kept(kind, input, seen.text + " (sin confirmar ni reducir: la ejecución se interrumpió)");
    }

    // Once in a run: every input may show it, when the library keeps a state.
    std::optional<FuzzFinding> depending_on_earlier_calls(const std::string& input, const Result& used,
                                                          const Result& fresh) {
        if (std::exchange(depending_found_, true)) return std::nullopt;
        return saved(folder_, FaultKind::stateful, numbers_[FaultKind::stateful], input,
                     "la respuesta depende de llamadas anteriores: " + said(used) + " tras otras entradas, " +
                         said(fresh) + " en un proceso nuevo");
    }

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

    Children& children_;
    FindingFolder& folder_;
    const FuzzSettings& settings_;
    std::set<std::pair<FaultKind, std::string>> found_;  // kind and minimised input
    std::map<FaultKind, std::size_t> numbers_;           // of each kind, the last
    std::vector<FuzzFinding>& made_;
    std::map<std::string, std::size_t> places_;  // of a crash, its finding in made_
    bool depending_found_ = false;
};

// A run's state from batch to batch.
class FuzzRun {
public:
    FuzzRun(Children& children, FindingFolder& folder, const FuzzSettings& settings)
        : children_(children),
          settings_(settings),
          copies_(settings.copy_per_input ? Copies::one_per_input : Copies::serving_many),
          inputs_(settings.seed, settings.most_corpus_inputs),
          findings_(children, folder, settings, summary_.findings) {
        for (const std::string& input : settings.corpus) inputs_.add_to_corpus(input);
    }

    FuzzSummary run(const FuzzProgress& progress) {
        const std::size_t most = settings_.most_inputs.value_or(std::numeric_limits<std::size_t>::max());
        std::size_t made = 0;
        // The inputs of a batch after one that ended its child go to the next.
        std::vector<std::string> batch;
        while (Clock::now() - start_ < settings_.duration && (made < most || !batch.empty()) &&
               !children_.interrupted()) {
            for (; batch.size() < kBatch && made < most; ++made) batch.push_back(inputs_.next());
            const BatchOutcome outcome = run_batch(children_, settings_, batch, copies_);
            summary_.inputs += outcome.results.size();
            summary_.stray_records += outcome.stray_records;
            if (outcome.not_bound || outcome.warm_up_fault) {
                ended_early(outcome);
                break;
            }
            take_in(batch, outcome.results);
            batch.erase(batch.begin(), batch.begin() + static_cast<std::ptrdiff_t>(outcome.results.size()));
            summary_.seconds = seconds_so_far();
            summary_.corpus = inputs_.corpus_size();
            summary_.shapes = shapes_.size();
            if (progress) progress(summary_);
        }
        summary_.seconds = seconds_so_far();
        return summary_;
    }

private:
    double seconds_so_far() const { return std::chrono::duration<double>(Clock::now() - start_).count(); }

    // A library that cannot be bound, or fails the call before the inputs,
    // would do so in every child: the run ends.
    void ended_early(const BatchOutcome& outcome) {
        summary_.not_bound = outcome.not_bound;
        if (outcome.warm_up_fault) summary_.findings.push_back(findings_.of_warm_up(*outcome.warm_up_fault));
    }

    // A new answer's shape joins its input to the corpus; a fault is a
    // finding. The answers a fresh copy is asked again: those of new shapes,
    // which the corpus keeps, and the batch's last, the one most calls came
    // before.
    void take_in(const std::vector<std::string>& batch, const std::vector<Result>& results) {
        std::vector<std::string> asked_again;
        std::vector<Result> their_results;
        for (std::size_t i = 0; i < results.size(); ++i) {
            if (results[i].fault) {
                noted(findings_.made_of(batch[i], results[i], copies_));
                continue;
            }
            if (children_.interrupted()) continue;
            const bool new_shape = first_of_its_shape(batch[i], results[i].text);
            if (new_shape) inputs_.add_to_corpus(batch[i]);
            if (new_shape || i + 1 == results.size()) {
                asked_again.push_back(batch[i]);
                their_results.push_back(results[i]);
            }
        }
        if (copies_ == Copies::serving_many && !children_.interrupted()) {
            noted(findings_.unlike_fresh(asked_again, their_results));
        }
    }

    void noted(std::optional<FuzzFinding> finding) {
        if (finding) summary_.findings.push_back(std::move(*finding));
    }

    // Whether the answer has a shape not seen before, while there is room to
    // remember one more.
    bool first_of_its_shape(std::string_view input, std::string_view answer) {
        if (shapes_.size() >= settings_.most_shapes) return false;
        return shapes_.insert(hash_of(answer_shape(input, answer))).second;
    }

    Children& children_;
    const FuzzSettings& settings_;
    const Copies copies_;
    const Clock::time_point start_ = Clock::now();
    FuzzInputs inputs_;
    std::unordered_set<std::uint64_t> shapes_;
    FuzzSummary summary_;
    Findings findings_;
};

}  // namespace

std::string answer_shape(std::string_view input, std::string_view answer) {
    std::unordered_set<std::string_view> input_names;
    for (const Names names : kEveryNotion) {
        for (std::size_t i = 0; i < input.size();) {
            const std::size_t length = name_length(input, i, names);
            if (length > 0) input_names.insert(input.substr(i, length));
            i += std::max<std::size_t>(length, 1);
        }
    }
    const auto input_name_at = [&](std::size_t at) -> std::size_t {
        for (const Names names : kEveryNotion) {
            const std::size_t length = name_length(answer, at, names);
            if (length > 0 && input_names.contains(answer.substr(at, length))) return length;
        }
        return 0;
    };
    std::string shape;
    for (std::size_t i = 0; i < answer.size();) {
        if (const std::size_t length = input_name_at(i); length > 0) {
            shape += 'a';
            i += length;
            continue;
        }
        if (is_digit(answer[i])) {
            shape += '0';
            while (i < answer.size() && is_digit(answer[i])) ++i;
            continue;
        }
        if (answer[i] == '\'' && i + 2 < answer.size() && answer[i + 2] == '\'') {
            shape += "'c'";
            i += 3;
            continue;
        }
        // A word of the library's own as it is, but for its numbers: whole,
        // for no part of it to be taken for a name of the input.
        const std::size_t word_end =
            i + std::max<std::size_t>(name_length(answer, i, Names::beyond_ascii), 1);
        while (i < word_end) {
            if (!is_digit(answer[i])) {
                shape += answer[i++];
                continue;
            }
            shape += '0';
            while (i < word_end && is_digit(answer[i])) ++i;
        }
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
    return FuzzRun(children, folder, settings).run(progress);
}

int fuzz_exit_status(const FuzzSummary& summary) {
    if (std::any_of(summary.findings.begin(), summary.findings.end(),
                    [](const FuzzFinding& finding) { return finding.file.empty(); })) {
        return kOutputNotWritten;
    }
    // A child that sent records of its own is the library's doing: it wrote
    // on a channel that is none of its own.
    return summary.findings.empty() && summary.stray_records == 0 ? kDone : kFindings;
}

}  // namespace kavrelo::zavlek_call
