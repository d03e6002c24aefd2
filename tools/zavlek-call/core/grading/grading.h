// SPDX-License-Identifier: MIT
// One submission graded by a rubric: what its worker found (the rubric's
// cases run, check's rows, a fuzz run), carried back to the grading process
// as a record, and the grade made of it, test by test.
#pragma once

#include "core/cases/case_run.h"
#include "core/contract/contract_checks.h"
#include "core/grading/rubric.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kavrelo::zavlek_call {

struct FuzzFound {
    std::size_t inputs = 0;
    std::vector<std::string> findings;  // each in words
};

struct SubmissionResults {
    // Why the library could not be loaded, as check's first row says it;
    // then nothing else ran.
    std::optional<std::string> not_loaded;
    CaseRun run;                        // the rubric's cases
    std::vector<CheckResult> contract;  // when the rubric has a contract group
    std::optional<FuzzFound> fuzz;      // when it has a fuzz group
};

// The record a worker sends, and the results read back; nothing when the
// bytes are not such a record.
std::string results_record(const SubmissionResults& results);
std::optional<SubmissionResults> results_from_record(std::string_view record);

// A hidden group's expectations (oculta, tras-entrega) stay with the
// grading process, which keeps its memory closed: a process that runs the
// submission's library could read them from its own memory, or from an open
// parent's. The cases as that process is given them: a hidden case expects
// only that its call returns.
std::vector<TestCase> cases_for_the_library(const Rubric& rubric);
// Each hidden case of the run judged anew, by its own expectation.
void judge_hidden_cases(const Rubric& rubric, CaseRun& run, Children& children,
                        std::chrono::milliseconds limit);
// The rubric's bytes with each hidden case's expectation line made "~" (any
// answer): for a grading process that runs the library and keeps nothing
// closed (the Windows one, under Wine). Its lines are numbered as before.
std::string rubric_without_hidden_expectations(const Rubric& rubric, std::string_view bytes);

struct GradedTest {
    std::string name;
    std::size_t group = 0;  // its index in the rubric's groups
    double score{};
    double max_score{};
    bool passed{};
    std::string output{};  // for a failed one: what was expected, what came and why
};

struct SubmissionGrade {
    std::string id;
    std::string library;                    // the file graded, as the submission names it; empty when none
    std::optional<std::string> ungradable;  // why it could not be graded
    std::vector<double> group_scores;       // in the rubric's order
    double score = 0;
    double max_score = 0;
    std::vector<GradedTest> tests;     // cases, check's rows, fuzz: the same for every graded one
    std::vector<std::string> same_as;  // the ids of submissions with the same library, bytes and all
    double seconds = 0;
};

SubmissionGrade graded(const Rubric& rubric, std::string id, const SubmissionResults& results);
SubmissionGrade ungradable(const Rubric& rubric, std::string id, std::string reason);

// Each grade's same_as, from a key per grade, in the grades' order: equal
// keys for libraries of the same bytes, empty for a submission with none.
void mark_copies(std::vector<SubmissionGrade>& grades, const std::vector<std::string>& library_keys);

}  // namespace kavrelo::zavlek_call
