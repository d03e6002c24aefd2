// SPDX-License-Identifier: MIT
// A class's grades as the teacher and the graders read them: notas.csv for
// spreadsheets, each submission's results in the formats autograders take,
// how many passed each test, a table for the terminal and a page for the
// browser.
#pragma once

#include "core/grading/grading.h"
#include "core/grading/rubric.h"

#include <string>
#include <string_view>
#include <vector>

namespace kavrelo::zavlek_call {

// RFC 4180, UTF-8 with a byte order mark: one row per grade, in the grades'
// order, a column per group.
std::string grades_csv(const Rubric& rubric, const std::vector<SubmissionGrade>& grades);

// The autograders' results files of one submission.
std::string gradescope_results(const Rubric& rubric, const SubmissionGrade& grade);
std::string prairielearn_results(const Rubric& rubric, const SubmissionGrade& grade);

// For each test, how many of the graded submissions passed it.
std::string class_summary_json(const Rubric& rubric, const std::vector<SubmissionGrade>& grades,
                               std::string_view isolation);

// The table written at the end: each submission, its grade, its state.
std::string grades_table(const std::vector<SubmissionGrade>& grades, std::string_view isolation);

// The class's report for the teacher, one page with nothing outside it: the
// grades, how they spread, how many passed each test, and each submission's
// failed tests with what its library answered.
std::string class_report_html(const Rubric& rubric, const std::vector<SubmissionGrade>& grades,
                              std::string_view isolation);

// A grade with two decimals and a decimal point, as the files write it.
std::string points_text(double points);

}  // namespace kavrelo::zavlek_call
