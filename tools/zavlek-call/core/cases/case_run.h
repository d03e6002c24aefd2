// SPDX-License-Identifier: MIT
// The cases of case files run against a library: in order, in one child
// process, so that a library that keeps state between calls sees what the
// window would show it; after a crash or a hang, in a new one.
#pragma once

#include "core/cases/case_file.h"
#include "core/children/children.h"
#include "core/exit_status.h"

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kavrelo::zavlek_call {

struct CaseResult {
    bool passed = false;
    std::optional<std::u16string> obtained;  // the answer, when the case has one
    std::string failure;                     // what happened when the call did not return
    // What the library printed during the call, as shown_output shows it;
    // empty when it printed nothing.
    std::string output{};
    // How the call ended, as the status a call ending so ends with: kDone
    // when it returned.
    int status = kDone;
};

struct CaseRun {
    std::vector<CaseResult> results;  // the cases run, in order
    // Why the library or an entry point could not be bound; no case after it ran.
    std::optional<std::string> not_bound;
};

// library: absolute, or empty for the ordinary search. limit: each case's,
// for its call and the search of its pattern together.
CaseRun run_cases(Children& children, const std::vector<TestCase>& cases, const std::string& library,
                  std::chrono::milliseconds limit);

// A case's returned answer judged anew by its expectation, for a case whose
// expectation the process that called the library was never given: its
// pattern searched by a child that never loads the library, bound by the
// limit as a search in run's children is.
void judge_anew(Children& children, const TestCase& test_case, CaseResult& result,
                std::chrono::milliseconds limit);

// What run's child, given this word, does: searches each call's pattern in
// the call's text, taken for an answer, and reports how each search ended.
inline constexpr std::string_view kSearchOnly = "busqueda";

// In the child: how the search of a case's pattern (as the case file writes
// it, which read_case_file took) in the case's answer ended, as the record
// sent after the answer's.
enum class Search { found, not_found, too_complex };
Search searched(std::string_view pattern, std::u16string_view answer);
std::string search_record(Search search);

}  // namespace kavrelo::zavlek_call
