// SPDX-License-Identifier: MIT
#include "core/cases/case_run.h"

#include "core/children/case_channel.h"
#include "core/children/case_output.h"
#include "core/children/ending.h"
#include "core/exit_status.h"

#include <binding/codepage.h>

#include <array>
#include <memory>
#include <span>

namespace kavrelo::zavlek_call {
namespace {

// In the order of Search.
constexpr std::array<std::string_view, 3> kSearchWords = {"found", "not_found", "too_complex"};

std::optional<Search> search_in(const CaseRecord& record) {
    for (std::size_t i = 0; i < kSearchWords.size(); ++i) {
        if (record.status == kDone && record.content == kSearchWords[i]) return static_cast<Search>(i);
    }
    return std::nullopt;
}

std::string child_input(const std::vector<TestCase>& cases, std::size_t first) {
    std::vector<CaseCall> calls;
    for (std::size_t i = first; i < cases.size(); ++i) {
        const Expectation& expectation = cases[i].expectation;
        calls.push_back({cases[i].entry_point, binding::to_eight_bit(cases[i].text),
                         expectation.kind == Expectation::Kind::matches ? std::optional(expectation.written)
                                                                        : std::nullopt});
    }
    return calls_for_child(calls);
}

// Whether the record is the answer of a case whose search's record follows.
bool search_follows(const TestCase& test_case, const CaseRecord& record) {
    return record.status == kDone && test_case.expectation.kind == Expectation::Kind::matches;
}

// A case is a step once all its records came: its time limit holds for its
// call and its search together.
Progress case_by_case(const std::vector<TestCase>& cases, std::size_t first) {
    struct Read {
        std::size_t length = 0;
        std::size_t next_case = 0;
        bool searching = false;
    };
    auto read = std::make_shared<Read>(Read{0, first, false});
    return [&cases, read](std::string_view reported) {
        const CaseRecords more = case_records(reported.substr(read->length));
        read->length += more.length;
        bool stepped = false;
        for (const CaseRecord& record : more.records) {
            if (read->next_case == cases.size()) break;
            read->searching = !read->searching && search_follows(cases[read->next_case], record);
            if (read->searching) continue;
            ++read->next_case;
            stepped = true;
        }
        return stepped;
    };
}

// How a search of the case's pattern ended, wherever it ran; nothing when
// its ending could not be read.
void take_search(std::optional<Search> search, CaseResult& result) {
    result.passed = search == Search::found;
    if (search == Search::too_complex) {
        result.failure = "el patrón no se pudo buscar en la respuesta: es demasiado complejo";
    } else if (!search) {
        result.failure = "zavlek-call no pudo leer cómo terminó la búsqueda del patrón";
    }
}

// For an expectation that is no pattern.
bool met_without_search(const Expectation& expectation, const std::u16string& obtained) {
    return expectation.kind == Expectation::Kind::returns || obtained == expectation.answer;
}

// Why a child ended before it said how the search of a pattern ended.
std::string search_cut_short(const ChildOutcome& outcome, std::chrono::milliseconds limit) {
    if (outcome.ending == ChildOutcome::Ending::timed_out) {
        return "la búsqueda del patrón en la respuesta no terminó en " + seconds_of(limit) +
               "; se detuvo el proceso";
    }
    return "el proceso terminó durante la búsqueda del patrón en la respuesta" +
           (outcome.ending == ChildOutcome::Ending::crashed
                ? ": " + outcome.cause
                : " (estado " + std::to_string(outcome.exit_status) + ")");
}

// records: the case's own, one, or two when its answer's search followed.
CaseResult judged(const TestCase& test_case, std::span<const CaseRecord> records) {
    CaseResult result;
    if (records[0].status != kDone) {
        result.status = records[0].status;
        result.failure = std::string(records[0].content);
        return result;
    }
    result.obtained = binding::from_eight_bit(records[0].content);
    if (test_case.expectation.kind == Expectation::Kind::matches) {
        take_search(search_in(records[1]), result);
    } else {
        result.passed = met_without_search(test_case.expectation, *result.obtained);
    }
    return result;
}

// The case under way when the child ended: its call, or the search of its
// pattern in the answer that came.
CaseResult cut_short(const TestCase& test_case, std::span<const CaseRecord> records,
                     const ChildOutcome& outcome, std::chrono::milliseconds limit) {
    CaseResult failed;
    failed.status = kLibraryCrashed;
    if (records.empty()) {
        failed.failure =
            in_words(unanswered(outcome, limit), binding::declaration_of(test_case.entry_point).name);
        return failed;
    }
    failed.obtained = binding::from_eight_bit(records[0].content);
    failed.failure = search_cut_short(outcome, limit);
    return failed;
}

}  // namespace

void judge_anew(Children& children, const TestCase& test_case, CaseResult& result,
                std::chrono::milliseconds limit) {
    if (result.status != kDone || !result.obtained) return;
    const Expectation& expectation = test_case.expectation;
    result.failure.clear();
    if (expectation.kind != Expectation::Kind::matches || expectation.written.empty()) {
        // (An empty pattern is found in any answer.)
        result.passed = expectation.kind == Expectation::Kind::matches ||
                        met_without_search(expectation, *result.obtained);
        return;
    }
    const ChildOutcome outcome = children.run(
        child_arguments("run", kSearchOnly, {}),
        calls_for_child(
            {{test_case.entry_point, binding::to_eight_bit(*result.obtained), expectation.written}}),
        limit, ErrorOutput::discarded, record_by_record(), {});
    const std::vector<CaseRecord> records = case_records(outcome.reported).records;
    if (!records.empty()) {
        take_search(search_in(records[0]), result);
        return;
    }
    result.passed = false;
    result.status = kLibraryCrashed;
    result.failure = search_cut_short(outcome, limit);
}

CaseRun run_cases(Children& children, const std::vector<TestCase>& cases, const std::string& library,
                  std::chrono::milliseconds limit) {
    const std::vector<std::string> arguments = child_arguments("run", std::nullopt, library);
    CaseRun run;
    while (run.results.size() < cases.size()) {
        const std::size_t first = run.results.size();
        CaseOutputs outputs;
        const ChildOutcome outcome = children.run(
            arguments, child_input(cases, first), limit, ErrorOutput::read, case_by_case(cases, first),
            [&outputs](std::string_view bytes) { outputs.take(bytes); });
        const CaseRecords read = case_records(outcome.reported);
        std::span<const CaseRecord> records = read.records;
        // A child ends after the first case that failed otherwise than by
        // its answer; a new one runs the rest.
        bool ended_after_a_fault = false;
        while (!ended_after_a_fault && !records.empty() && run.results.size() < cases.size()) {
            const TestCase& test_case = cases[run.results.size()];
            if (records[0].status == kNotBound) {
                run.not_bound = std::string(records[0].content);
                return run;
            }
            const std::size_t own = search_follows(test_case, records[0]) ? 2 : 1;
            if (records.size() < own) break;
            run.results.push_back(judged(test_case, records.first(own)));
            ended_after_a_fault = records[0].status != kDone;
            records = records.subspan(own);
        }
        if (!ended_after_a_fault && run.results.size() < cases.size()) {
            run.results.push_back(cut_short(cases[run.results.size()], records, outcome, limit));
        }
        const std::vector<std::string> printed = outputs.shown();
        for (std::size_t i = 0; i < printed.size() && first + i < run.results.size(); ++i) {
            run.results[first + i].output = printed[i];
        }
    }
    return run;
}

Search searched(std::string_view pattern, std::u16string_view answer) {
    try {
        return std::regex_search(wide_text(answer), compiled_pattern(pattern)) ? Search::found
                                                                               : Search::not_found;
    } catch (const std::regex_error&) {
        return Search::too_complex;
    }
}

std::string search_record(Search search) {
    return case_record({kDone, std::string(kSearchWords[static_cast<std::size_t>(search)])});
}

}  // namespace kavrelo::zavlek_call
