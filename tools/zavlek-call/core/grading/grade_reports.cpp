// SPDX-License-Identifier: MIT
#include "core/grading/grade_reports.h"

#include "core/reports/check_report.h"

#include <text/utf8.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace kavrelo::zavlek_call {
namespace {

std::string fixed(double value, int places) {
    char written[64];
    std::snprintf(written, sizeof written, "%.*f", places, value);
    return written;
}

// A spreadsheet takes a cell starting with = + - @ or a tab for a formula:
// a submission's name is the student's to choose, and must stay text.
std::string csv_field(std::string_view text) {
    std::string field(text);
    if (!field.empty() && std::string_view("=+-@\t\r").find(field.front()) != std::string_view::npos) {
        field.insert(0, "'");
    }
    if (field.find_first_of(",\"\r\n") == std::string::npos) return field;
    std::string quoted = "\"";
    for (const char byte : field) {
        if (byte == '"') quoted += '"';
        quoted += byte;
    }
    return quoted + "\"";
}

std::string joined(const std::vector<std::string>& words, std::string_view between) {
    std::string all;
    for (const std::string& word : words) all += (all.empty() ? "" : std::string(between)) + word;
    return all;
}

std::string_view gradescope_visibility(Visibility visibility) {
    switch (visibility) {
        case Visibility::hidden:
            return "hidden";
        case Visibility::after_due_date:
            return "after_due_date";
        case Visibility::visible:
            break;
    }
    return "visible";
}

std::string state_of(const SubmissionGrade& grade) {
    return grade.ungradable ? "no calificable" : "calificada";
}

std::string summary_line(const SubmissionGrade& grade) {
    if (grade.ungradable) return "No calificable: " + *grade.ungradable;
    return "Nota: " + points_text(grade.score) + " de " + points_text(grade.max_score) +
           (grade.library.empty() ? "" : " (biblioteca: " + grade.library + ")");
}

std::size_t width_of(std::string_view text) {
    std::size_t characters = 0;
    while (!text.empty()) {
        text.remove_prefix(text::first_utf8_character(text).length);
        ++characters;
    }
    return characters;
}

std::string padded(std::string_view text, std::size_t width) {
    return std::string(text) + std::string(width - std::min(width, width_of(text)), ' ');
}

}  // namespace

std::string points_text(double points) { return fixed(points, 2); }

std::string grades_csv(const Rubric& rubric, const std::vector<SubmissionGrade>& grades) {
    constexpr std::string_view kEnd = "\r\n";
    std::string csv =
        "\xEF\xBB\xBF"
        "entrega,nota,maximo";
    for (const RubricGroup& group : rubric.groups) csv += "," + csv_field(group.name);
    csv += ",estado,motivo,igual_a";
    csv += kEnd;
    for (const SubmissionGrade& grade : grades) {
        csv += csv_field(grade.id) + "," + points_text(grade.score) + "," + points_text(grade.max_score);
        for (const double score : grade.group_scores) csv += "," + points_text(score);
        csv += "," + state_of(grade) + "," +
               csv_field(text::with_visible_controls(grade.ungradable.value_or(""))) + "," +
               csv_field(joined(grade.same_as, " "));
        csv += kEnd;
    }
    return csv;
}

std::string gradescope_results(const Rubric& rubric, const SubmissionGrade& grade) {
    std::string json = "{\n  \"score\": " + points_text(grade.score) +
                       ",\n  \"execution_time\": " + std::to_string(std::lround(grade.seconds)) +
                       ",\n  \"output\": " + json_string(summary_line(grade)) +
                       ",\n  \"output_format\": \"text\",\n  \"tests\": [";
    for (std::size_t i = 0; i < grade.tests.size(); ++i) {
        const GradedTest& test = grade.tests[i];
        json += std::string(i == 0 ? "\n" : ",\n") + "    {\"name\": " + json_string(test.name) +
                ", \"score\": " + fixed(test.score, 4) + ", \"max_score\": " + fixed(test.max_score, 4) +
                ", \"status\": " + (test.passed ? "\"passed\"" : "\"failed\"") +
                ", \"output\": " + json_string(test.output) + ", \"visibility\": \"" +
                std::string(gradescope_visibility(rubric.groups[test.group].visibility)) + "\"}";
    }
    return json + (grade.tests.empty() ? "]\n}\n" : "\n  ]\n}\n");
}

std::string prairielearn_results(const Rubric& rubric, const SubmissionGrade& grade) {
    const double score = grade.max_score > 0 ? grade.score / grade.max_score : 0;
    std::string json = "{\n  \"gradable\": " + std::string(grade.ungradable ? "false" : "true") +
                       ",\n  \"score\": " + fixed(score, 4) +
                       ",\n  \"message\": " + json_string(summary_line(grade)) + ",\n  \"tests\": [";
    std::size_t hidden = 0;
    for (std::size_t i = 0; i < grade.tests.size(); ++i) {
        const GradedTest& test = grade.tests[i];
        // The platform shows every test to the student: a hidden one is
        // named by its group alone, its text and answers kept back.
        const RubricGroup& group = rubric.groups[test.group];
        const bool shown = group.visibility == Visibility::visible;
        const std::string name = shown ? test.name : group.name + ": caso oculto " + std::to_string(++hidden);
        json += std::string(i == 0 ? "\n" : ",\n") + "    {\"name\": " + json_string(name) +
                ", \"points\": " + fixed(test.score, 4) + ", \"max_points\": " + fixed(test.max_score, 4) +
                ", \"output\": " + json_string(shown ? test.output : "") + "}";
    }
    return json + (grade.tests.empty() ? "]\n}\n" : "\n  ]\n}\n");
}

std::string class_summary_json(const Rubric& rubric, const std::vector<SubmissionGrade>& grades,
                               std::string_view isolation) {
    const SubmissionGrade* first_graded = nullptr;
    std::size_t graded_count = 0;
    double sum = 0;
    for (const SubmissionGrade& grade : grades) {
        if (grade.ungradable) continue;
        if (first_graded == nullptr) first_graded = &grade;
        ++graded_count;
        sum += grade.score;
    }
    std::string json =
        "{\n  \"rubrica\": " + json_string(rubric.file) + ",\n  \"aislamiento\": " + json_string(isolation) +
        ",\n  \"entregas\": " + std::to_string(grades.size()) +
        ",\n  \"calificadas\": " + std::to_string(graded_count) +
        ",\n  \"maximo\": " + points_text(rubric.points()) + ",\n  \"nota_media\": " +
        points_text(graded_count > 0 ? sum / static_cast<double>(graded_count) : 0) + ",\n  \"pruebas\": [";
    const std::size_t tests = first_graded != nullptr ? first_graded->tests.size() : 0;
    for (std::size_t t = 0; t < tests; ++t) {
        std::size_t passed = 0;
        for (const SubmissionGrade& grade : grades) {
            passed += !grade.ungradable && t < grade.tests.size() && grade.tests[t].passed;
        }
        const GradedTest& test = first_graded->tests[t];
        json += std::string(t == 0 ? "\n" : ",\n") + "    {\"nombre\": " + json_string(test.name) +
                ", \"grupo\": " + json_string(rubric.groups[test.group].name) +
                ", \"aprobadas\": " + std::to_string(passed) + ", \"de\": " + std::to_string(graded_count) +
                "}";
    }
    return json + (tests == 0 ? "]\n}\n" : "\n  ]\n}\n");
}

std::string grades_table(const std::vector<SubmissionGrade>& grades, std::string_view isolation) {
    const std::string id_heading = "Entrega";
    std::size_t id_width = width_of(id_heading);
    for (const SubmissionGrade& grade : grades) id_width = std::max(id_width, width_of(grade.id));
    const auto score_of = [](const SubmissionGrade& grade) {
        return points_text(grade.score) + " / " + points_text(grade.max_score);
    };
    std::size_t score_width = width_of("Nota");
    for (const SubmissionGrade& grade : grades)
        score_width = std::max(score_width, width_of(score_of(grade)));
    std::string table = "Aislamiento: " + std::string(isolation) + "\n\n" + padded(id_heading, id_width) +
                        "  " + padded("Nota", score_width) + "  Estado\n";
    std::size_t graded_count = 0;
    for (const SubmissionGrade& grade : grades) {
        graded_count += !grade.ungradable;
        std::string state = grade.ungradable ? "no calificable: " + *grade.ungradable : "calificada";
        if (!grade.same_as.empty()) state += "; igual a " + joined(grade.same_as, ", ");
        std::ranges::replace(state, '\n', ' ');
        table += padded(text::with_visible_controls(grade.id), id_width) + "  " +
                 padded(score_of(grade), score_width) + "  " + text::with_visible_controls(state) + "\n";
    }
    return table + "\n" + std::to_string(graded_count) + " de " + std::to_string(grades.size()) +
           " entregas calificadas.\n";
}

}  // namespace kavrelo::zavlek_call
