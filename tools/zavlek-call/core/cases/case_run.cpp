// SPDX-License-Identifier: MIT
#include "core/cases/case_run.h"

#include "core/children/case_channel.h"
#include "core/children/ending.h"
#include "core/exit_status.h"

#include <binding/codepage.h>

namespace kavrelo::zavlek_call {
namespace {

std::string child_input(const std::vector<TestCase>& cases, std::size_t first) {
    std::vector<CaseCall> calls;
    for (std::size_t i = first; i < cases.size(); ++i) {
        calls.push_back({cases[i].entry_point, binding::to_eight_bit(cases[i].text)});
    }
    return calls_for_child(calls);
}

CaseResult judged(const TestCase& test_case, const CaseRecord& record) {
    CaseResult result;
    if (record.status != kDone) {
        result.failure = std::string(record.content);
        return result;
    }
    const Expectation& expectation = test_case.expectation;
    result.obtained = binding::from_eight_bit(record.content);
    switch (expectation.kind) {
        case Expectation::Kind::returns:
            result.passed = true;
            break;
        case Expectation::Kind::equals:
            result.passed = *result.obtained == expectation.answer;
            break;
        case Expectation::Kind::matches:
            try {
                result.passed = std::regex_search(wide_text(*result.obtained), expectation.pattern);
            } catch (const std::regex_error&) {
                result.failure = "el patrón no se pudo buscar en la respuesta: es demasiado complejo";
            }
            break;
    }
    return result;
}

}  // namespace

CaseRun run_cases(Children& children, const std::vector<TestCase>& cases, const std::string& library,
                  std::chrono::milliseconds limit) {
    const std::vector<std::string> arguments = child_arguments("run", std::nullopt, library);
    CaseRun run;
    while (run.results.size() < cases.size()) {
        const std::size_t first = run.results.size();
        const ChildOutcome outcome = children.run(arguments, child_input(cases, first), limit,
                                                  ErrorOutput::shared, record_by_record());
        // A child ends after the first case that failed otherwise than by
        // its answer; a new one runs the rest.
        bool ended_after_a_fault = false;
        for (const CaseRecord& record : case_records(outcome.reported).records) {
            if (run.results.size() == cases.size()) break;
            if (record.status == kNotBound) {
                run.not_bound = std::string(record.content);
                return run;
            }
            run.results.push_back(judged(cases[run.results.size()], record));
            ended_after_a_fault = record.status != kDone;
            if (ended_after_a_fault) break;
        }
        if (!ended_after_a_fault && run.results.size() < cases.size()) {
            // What ended the child during a case that sent no record.
            const TestCase& unanswered_case = cases[run.results.size()];
            CaseResult failed;
            failed.failure = in_words(unanswered(outcome, limit),
                                      binding::declaration_of(unanswered_case.entry_point).name);
            run.results.push_back(std::move(failed));
        }
    }
    return run;
}

}  // namespace kavrelo::zavlek_call
