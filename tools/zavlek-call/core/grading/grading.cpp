// SPDX-License-Identifier: MIT
#include "core/grading/grading.h"

#include "core/reports/tap_report.h"

#include <text/utf8.h>

#include <algorithm>
#include <charconv>
#include <map>
#include <utility>

namespace kavrelo::zavlek_call {
namespace {

// The record: fields one after the other, each as its length in decimal,
// a colon and its bytes, so that any bytes travel.
class RecordWriter {
public:
    RecordWriter& field(std::string_view bytes) {
        record_ += std::to_string(bytes.size()) + ":";
        record_.append(bytes);
        return *this;
    }
    RecordWriter& number(std::size_t value) { return field(std::to_string(value)); }
    RecordWriter& optional(const std::optional<std::string>& value) {
        number(value.has_value());
        return value ? field(*value) : *this;
    }
    std::string done() && { return std::move(record_); }

private:
    std::string record_;
};

class RecordReader {
public:
    explicit RecordReader(std::string_view record) : rest_(record) {}

    std::optional<std::string_view> field() {
        std::size_t length = 0;
        const auto [end, error] = std::from_chars(rest_.data(), rest_.data() + rest_.size(), length);
        if (error != std::errc() || end == rest_.data() + rest_.size() || *end != ':') return std::nullopt;
        const std::size_t start = static_cast<std::size_t>(end - rest_.data()) + 1;
        if (length > rest_.size() - start) return std::nullopt;
        const std::string_view bytes = rest_.substr(start, length);
        rest_.remove_prefix(start + length);
        return bytes;
    }
    std::optional<std::size_t> number() {
        const std::optional<std::string_view> bytes = field();
        std::size_t value = 0;
        if (!bytes || std::from_chars(bytes->data(), bytes->data() + bytes->size(), value).ptr !=
                          bytes->data() + bytes->size()) {
            return std::nullopt;
        }
        return value;
    }
    // Throws Malformed for a field missing.
    struct Malformed {};
    std::string_view need_field() {
        if (const auto bytes = field()) return *bytes;
        throw Malformed{};
    }
    std::size_t need_number() {
        if (const auto value = number()) return *value;
        throw Malformed{};
    }
    std::optional<std::string> need_optional() {
        return need_number() != 0 ? std::optional<std::string>(need_field()) : std::nullopt;
    }
    bool finished() const { return rest_.empty(); }

private:
    std::string_view rest_;
};

constexpr std::string_view kRecordKind = "calificacion-1";

// A case's line as a test's name: long texts shortened, for a table to hold.
std::string shortened(std::string_view text, std::size_t most) {
    std::string kept;
    std::size_t characters = 0;
    while (!text.empty()) {
        const std::size_t length = text::first_utf8_character(text).length;
        if (++characters > most) return kept + "…";
        kept.append(text.substr(0, length));
        text.remove_prefix(length);
    }
    return kept;
}

std::string case_output(const TestCase& test_case, const CaseResult* result, const CaseRun& run) {
    std::string output = "esperado: " + expected_in_words(test_case.expectation) + "\n";
    if (result == nullptr) return output + "causa: " + run.not_bound.value_or("el caso no se ejecutó") + "\n";
    output += "obtenido: " + (result->obtained ? text::to_utf8(*result->obtained) : std::string()) + "\n";
    if (!result->failure.empty()) output += "causa: " + result->failure + "\n";
    if (!result->output.empty()) output += "salida de la biblioteca:\n" + result->output;
    return output;
}

// The indexes of the cases of the rubric's hidden groups.
std::vector<std::size_t> hidden_cases(const Rubric& rubric) {
    std::vector<std::size_t> hidden;
    for (const RubricGroup& group : rubric.groups) {
        if (group.visibility != Visibility::visible)
            hidden.insert(hidden.end(), group.cases.begin(), group.cases.end());
    }
    return hidden;
}

}  // namespace

std::vector<TestCase> cases_for_the_library(const Rubric& rubric) {
    std::vector<TestCase> cases = rubric.cases;
    for (const std::size_t i : hidden_cases(rubric)) cases[i].expectation = {};
    return cases;
}

void judge_hidden_cases(const Rubric& rubric, CaseRun& run, Children& children,
                        std::chrono::milliseconds limit) {
    for (const std::size_t i : hidden_cases(rubric)) {
        if (i < run.results.size()) judge_anew(children, rubric.cases[i], run.results[i], limit);
    }
}

std::string rubric_without_hidden_expectations(const Rubric& rubric, std::string_view bytes) {
    std::vector<std::size_t> expectation_lines;
    for (const std::size_t i : hidden_cases(rubric)) expectation_lines.push_back(rubric.cases[i].line + 1);
    const std::vector<std::string_view> lines = lines_of(bytes);
    std::string kept;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const bool hidden = std::ranges::find(expectation_lines, i + 1) != expectation_lines.end();
        kept.append(hidden ? std::string_view("~") : lines[i]).append("\n");
    }
    return kept;
}

std::string results_record(const SubmissionResults& results) {
    RecordWriter writer;
    writer.field(kRecordKind).optional(results.not_loaded);
    writer.number(results.run.results.size());
    for (const CaseResult& result : results.run.results) {
        writer.number(result.passed)
            .optional(result.obtained ? std::optional(text::to_utf8(*result.obtained)) : std::nullopt)
            .field(result.failure)
            .field(result.output);
    }
    writer.optional(results.run.not_bound);
    writer.number(results.contract.size());
    for (const CheckResult& row : results.contract) {
        writer.field(row.title)
            .number(static_cast<std::size_t>(row.finding.verdict))
            .field(row.finding.detail);
    }
    writer.number(results.fuzz.has_value());
    if (results.fuzz) {
        writer.number(results.fuzz->inputs).number(results.fuzz->findings.size());
        for (const std::string& finding : results.fuzz->findings) writer.field(finding);
    }
    return std::move(writer).done();
}

std::optional<SubmissionResults> results_from_record(std::string_view record) {
    RecordReader reader(record);
    SubmissionResults results;
    try {
        if (reader.need_field() != kRecordKind) return std::nullopt;
        results.not_loaded = reader.need_optional();
        for (std::size_t cases = reader.need_number(); cases > 0; --cases) {
            CaseResult result;
            result.passed = reader.need_number() != 0;
            if (const std::optional<std::string> obtained = reader.need_optional())
                result.obtained = text::from_utf8(*obtained);
            result.failure = reader.need_field();
            result.output = reader.need_field();
            results.run.results.push_back(std::move(result));
        }
        results.run.not_bound = reader.need_optional();
        for (std::size_t rows = reader.need_number(); rows > 0; --rows) {
            CheckResult row;
            row.title = reader.need_field();
            const std::size_t verdict = reader.need_number();
            if (verdict > static_cast<std::size_t>(Verdict::warning)) return std::nullopt;
            row.finding.verdict = static_cast<Verdict>(verdict);
            row.finding.detail = reader.need_field();
            results.contract.push_back(std::move(row));
        }
        if (reader.need_number() != 0) {
            FuzzFound fuzz;
            fuzz.inputs = reader.need_number();
            for (std::size_t findings = reader.need_number(); findings > 0; --findings)
                fuzz.findings.emplace_back(reader.need_field());
            results.fuzz = std::move(fuzz);
        }
    } catch (const RecordReader::Malformed&) {
        return std::nullopt;
    }
    if (!reader.finished()) return std::nullopt;
    return results;
}

SubmissionGrade graded(const Rubric& rubric, std::string id, const SubmissionResults& results) {
    if (results.not_loaded) return ungradable(rubric, std::move(id), *results.not_loaded);
    SubmissionGrade grade;
    grade.id = std::move(id);
    grade.group_scores.assign(rubric.groups.size(), 0);
    grade.max_score = rubric.points();
    for (std::size_t g = 0; g < rubric.groups.size(); ++g) {
        const RubricGroup& group = rubric.groups[g];
        std::vector<GradedTest> tests;
        switch (group.kind) {
            case RubricGroup::Kind::cases:
                for (const std::size_t index : group.cases) {
                    const TestCase& test_case = rubric.cases[index];
                    const CaseResult* result =
                        index < results.run.results.size() ? &results.run.results[index] : nullptr;
                    GradedTest test{group.name + ": " + shortened(test_case.written, 80), g};
                    test.passed = result != nullptr && result->passed;
                    if (!test.passed) test.output = case_output(test_case, result, results.run);
                    tests.push_back(std::move(test));
                }
                break;
            case RubricGroup::Kind::contract:
                for (const CheckResult& row : results.contract) {
                    GradedTest test{group.name + ": " + row.title, g};
                    test.passed = row.finding.verdict != Verdict::failed;
                    test.output = row.finding.detail;
                    tests.push_back(std::move(test));
                }
                break;
            case RubricGroup::Kind::fuzz: {
                const FuzzFound found = results.fuzz.value_or(FuzzFound{});
                GradedTest test{group.name + ": " + std::to_string(found.inputs) + " entradas", g};
                test.passed = results.fuzz && found.findings.empty();
                for (const std::string& finding : found.findings) test.output += finding + "\n";
                tests.push_back(std::move(test));
                break;
            }
        }
        // PUNTOS × passed / tests, as the teacher counts it, not a sum of
        // shares that rounding takes from.
        const auto count = static_cast<double>(tests.size());
        const auto passed = static_cast<double>(std::ranges::count_if(tests, &GradedTest::passed));
        grade.group_scores[g] = tests.empty() ? 0 : group.points * passed / count;
        for (GradedTest& test : tests) {
            test.max_score = group.points / count;
            test.score = test.passed ? test.max_score : 0;
            grade.tests.push_back(std::move(test));
        }
        grade.score += grade.group_scores[g];
    }
    return grade;
}

SubmissionGrade ungradable(const Rubric& rubric, std::string id, std::string reason) {
    SubmissionGrade grade;
    grade.id = std::move(id);
    grade.ungradable = std::move(reason);
    grade.group_scores.assign(rubric.groups.size(), 0);
    grade.max_score = rubric.points();
    return grade;
}

void mark_copies(std::vector<SubmissionGrade>& grades, const std::vector<std::string>& library_keys) {
    std::map<std::string_view, std::vector<std::size_t>> holding;
    for (std::size_t i = 0; i < grades.size() && i < library_keys.size(); ++i) {
        if (!library_keys[i].empty()) holding[library_keys[i]].push_back(i);
    }
    for (const auto& [key, alike] : holding) {
        for (const std::size_t i : alike) {
            for (const std::size_t other : alike) {
                if (other != i) grades[i].same_as.push_back(grades[other].id);
            }
            std::ranges::sort(grades[i].same_as);
        }
    }
}

}  // namespace kavrelo::zavlek_call
