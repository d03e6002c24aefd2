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

std::string copies_text(const SubmissionGrade& grade) { return "igual a " + joined(grade.same_as, ", "); }

std::string isolation_line(std::string_view isolation) { return "Aislamiento: " + std::string(isolation); }

std::string graded_line(const std::vector<SubmissionGrade>& grades) {
    const auto graded =
        std::ranges::count_if(grades, [](const SubmissionGrade& grade) { return !grade.ungradable; });
    return std::to_string(graded) + " de " + std::to_string(grades.size()) + " entregas calificadas.";
}

// What the class did: how many were graded, their mean, and how many of
// them passed each test (every graded one has the same tests, in order).
struct ClassCount {
    const SubmissionGrade* first_graded = nullptr;
    std::size_t graded = 0;
    double sum = 0;
    std::vector<std::size_t> passed;

    double mean() const { return graded > 0 ? sum / static_cast<double>(graded) : 0; }
};

ClassCount counted(const std::vector<SubmissionGrade>& grades) {
    ClassCount count;
    for (const SubmissionGrade& grade : grades) {
        if (grade.ungradable) continue;
        if (count.first_graded == nullptr) count.first_graded = &grade;
        ++count.graded;
        count.sum += grade.score;
    }
    if (count.first_graded == nullptr) return count;
    count.passed.assign(count.first_graded->tests.size(), 0);
    for (const SubmissionGrade& grade : grades) {
        for (std::size_t t = 0; t < count.passed.size(); ++t) {
            count.passed[t] += !grade.ungradable && t < grade.tests.size() && grade.tests[t].passed;
        }
    }
    return count;
}

// A submission's names and its library's output are the student's to
// write, and must stay text.
std::string html_text(std::string_view text) {
    return text::markup_escaped(text::with_visible_controls(text));
}

// A whole percentage, without its sign: the bar's width and its text alike.
std::string percent_of(std::size_t part, std::size_t whole) {
    return fixed(whole > 0 ? 100.0 * static_cast<double>(part) / static_cast<double>(whole) : 0, 0);
}

std::string submissions_text(std::size_t count) {
    return std::to_string(count) + (count == 1 ? " entrega" : " entregas");
}

// The report's one anchor per submission, by its place: a submission's name
// may hold anything.
std::string anchor_of(std::size_t index) { return "entrega-" + std::to_string(index + 1); }

constexpr std::size_t kBins = 10;

// The tenth of the maximum a grade falls in; the maximum itself in the
// last. A hair of slack: shares such as 17 of 17 sum a hair short of whole.
std::size_t bin_of(const SubmissionGrade& grade) {
    if (grade.max_score <= 0) return 0;
    const double tenths = grade.score * static_cast<double>(kBins) / grade.max_score + 1e-9;
    return std::min(kBins - 1, static_cast<std::size_t>(std::max(0.0, tenths)));
}

std::string bin_text(std::size_t bin) {
    return "de " + std::to_string(bin * 100 / kBins) + " a " + std::to_string((bin + 1) * 100 / kBins) + " %";
}

std::string histogram_svg(const std::vector<SubmissionGrade>& grades, std::size_t graded) {
    std::vector<std::size_t> counts(kBins, 0);
    for (const SubmissionGrade& grade : grades) {
        if (!grade.ungradable) ++counts[bin_of(grade)];
    }
    const std::size_t tallest = std::max<std::size_t>(1, std::ranges::max(counts));
    std::string label = "Histograma de las notas de " + submissions_text(graded) + " calificadas:";
    for (std::size_t bin = 0; bin < kBins; ++bin) {
        label += std::string(bin == 0 ? " " : "; ") + bin_text(bin) + ", " + std::to_string(counts[bin]);
    }
    std::string svg = "<svg role=\"img\" aria-label=\"" + html_text(label) +
                      "\" viewBox=\"0 0 620 250\" width=\"620\" height=\"250\">\n<title>" + html_text(label) +
                      "</title>\n<line class=\"eje\" x1=\"20\" y1=\"200\" x2=\"600\" y2=\"200\"/>\n";
    for (std::size_t bin = 0; bin < kBins; ++bin) {
        const std::size_t height = counts[bin] * 160 / tallest;
        const std::size_t x = 25 + bin * 57;
        const std::size_t top = 200 - height;
        svg += "<g><title>" + html_text(bin_text(bin) + ": " + submissions_text(counts[bin])) +
               "</title><rect x=\"" + std::to_string(x) + "\" y=\"" + std::to_string(top) +
               "\" width=\"50\" height=\"" + std::to_string(height) + "\"/><text x=\"" +
               std::to_string(x + 25) + "\" y=\"" + std::to_string(top - 6) + "\" text-anchor=\"middle\">" +
               std::to_string(counts[bin]) + "</text><text x=\"" + std::to_string(x + 25) +
               "\" y=\"218\" text-anchor=\"middle\">" + std::to_string(bin * 100 / kBins) + "–" +
               std::to_string((bin + 1) * 100 / kBins) + "</text></g>\n";
    }
    return svg + "<text x=\"310\" y=\"242\" text-anchor=\"middle\">% de la nota máxima</text>\n</svg>\n";
}

constexpr std::string_view kStyle = R"(:root { color-scheme: light; }
body { font-family: "Liberation Sans", Arial, sans-serif; color: #1b1f24; background: #fff;
  max-width: 78rem; margin: 0 auto; padding: 1rem 1.5rem; line-height: 1.4; }
h1 { font-size: 1.6rem; margin: 0.3rem 0; }
header p { margin: 0.3rem 0; }
header ul { display: flex; flex-wrap: wrap; gap: 0.3rem 2rem; list-style: none; padding: 0; margin: 0.3rem 0; }
h2 { font-size: 1.25rem; margin-top: 2rem; border-bottom: 2px solid #c5d0dc; padding-bottom: 0.2rem; }
h3 { font-size: 1.1rem; margin-bottom: 0.3rem; }
h4 { font-size: 0.95rem; margin: 0.8rem 0 0.2rem; }
table { border-collapse: collapse; width: 100%; font-size: 0.9rem; }
th, td { border: 1px solid #c5d0dc; padding: 0.25rem 0.5rem; text-align: left; vertical-align: top; }
thead th { background: #edf2f7; }
.num { text-align: right; font-variant-numeric: tabular-nums; white-space: nowrap; }
.motivo { max-width: 30rem; overflow-wrap: anywhere; }
.estado { white-space: nowrap; }
.no-calificable { color: #a1000e; }
.barra { display: inline-block; width: 14rem; height: 0.8rem; background: #e7eaef;
  border: 1px solid #8c99aa; vertical-align: middle; margin-right: 0.5rem; }
.barra span { display: block; height: 100%; background: #3a6ea5; }
svg rect { fill: #3a6ea5; }
svg .eje { stroke: #1b1f24; }
svg text { font-size: 13px; fill: #1b1f24; }
pre { white-space: pre-wrap; overflow-wrap: anywhere; background: #f4f6f8; border: 1px solid #d3d9e0;
  padding: 0.5rem; margin: 0; font-size: 0.85rem; }
section.entrega { border-top: 1px solid #c5d0dc; margin-top: 1rem; }
/* The class's table is wide: on paper it lies across the page. */
@page { size: A4 landscape; margin: 12mm; }
@media print {
  body { max-width: none; padding: 0; font-size: 10pt; }
  table { font-size: 8.5pt; }
  thead th, pre { background: none; }
  .barra, .barra span, svg rect { print-color-adjust: exact; -webkit-print-color-adjust: exact; }
  .barra span, svg rect { background: #9dbbe0; fill: #9dbbe0; }
  tr, li, pre, figure { break-inside: avoid; }
  h2, h3, h4 { break-after: avoid; }
  a { color: inherit; text-decoration: none; }
}
)";

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
    const ClassCount count = counted(grades);
    std::string json = "{\n  \"rubrica\": " + json_string(rubric.file) +
                       ",\n  \"aislamiento\": " + json_string(isolation) +
                       ",\n  \"entregas\": " + std::to_string(grades.size()) +
                       ",\n  \"calificadas\": " + std::to_string(count.graded) +
                       ",\n  \"maximo\": " + points_text(rubric.points()) +
                       ",\n  \"nota_media\": " + points_text(count.mean()) + ",\n  \"pruebas\": [";
    for (std::size_t t = 0; t < count.passed.size(); ++t) {
        const GradedTest& test = count.first_graded->tests[t];
        json += std::string(t == 0 ? "\n" : ",\n") + "    {\"nombre\": " + json_string(test.name) +
                ", \"grupo\": " + json_string(rubric.groups[test.group].name) +
                ", \"aprobadas\": " + std::to_string(count.passed[t]) +
                ", \"de\": " + std::to_string(count.graded) + "}";
    }
    return json + (count.passed.empty() ? "]\n}\n" : "\n  ]\n}\n");
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
    std::string table = isolation_line(isolation) + "\n\n" + padded(id_heading, id_width) + "  " +
                        padded("Nota", score_width) + "  Estado\n";
    for (const SubmissionGrade& grade : grades) {
        std::string state = state_of(grade) + (grade.ungradable ? ": " + *grade.ungradable : "");
        if (!grade.same_as.empty()) state += "; " + copies_text(grade);
        std::ranges::replace(state, '\n', ' ');
        table += padded(text::with_visible_controls(grade.id), id_width) + "  " +
                 padded(score_of(grade), score_width) + "  " + text::with_visible_controls(state) + "\n";
    }
    return table + "\n" + graded_line(grades) + "\n";
}

std::string class_report_html(const Rubric& rubric, const std::vector<SubmissionGrade>& grades,
                              std::string_view isolation) {
    const ClassCount count = counted(grades);
    std::string html =
        "<!DOCTYPE html>\n<html lang=\"es\">\n<head>\n<meta charset=\"utf-8\">\n"
        "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
        "<title>Informe de la clase: " +
        html_text(rubric.file) + "</title>\n<style>\n" + std::string(kStyle) +
        "</style>\n</head>\n<body>\n<header>\n<h1>Informe de la clase</h1>\n<p>Rúbrica <code>" +
        html_text(rubric.file) + "</code>: " + points_text(rubric.points()) + " puntos en " +
        std::to_string(rubric.groups.size()) + (rubric.groups.size() == 1 ? " grupo" : " grupos") +
        ".</p>\n<ul>\n";
    for (const RubricGroup& group : rubric.groups) {
        html += "<li>" + html_text(group.name) + ": " + points_text(group.points) + " puntos</li>\n";
    }
    html += "</ul>\n<p>" + graded_line(grades) +
            " Nota media de las calificadas: " + points_text(count.mean()) + " de " +
            points_text(rubric.points()) + ".</p>\n<p>" + html_text(isolation_line(isolation)) +
            "</p>\n</header>\n<main>\n";

    html +=
        "<h2 id=\"notas\">Notas</h2>\n<table id=\"tabla-notas\">\n<thead>\n<tr><th scope=\"col\">Entrega</th>"
        "<th scope=\"col\">Nota</th>";
    for (const RubricGroup& group : rubric.groups) {
        html += "<th scope=\"col\">" + html_text(group.name) + "</th>";
    }
    html +=
        "<th scope=\"col\">Estado</th><th scope=\"col\">Motivo</th><th scope=\"col\">Copias</th></tr>\n"
        "</thead>\n<tbody>\n";
    for (std::size_t i = 0; i < grades.size(); ++i) {
        const SubmissionGrade& grade = grades[i];
        html += "<tr><th scope=\"row\"><a href=\"#" + anchor_of(i) + "\">" + html_text(grade.id) +
                "</a></th><td class=\"num\">" + points_text(grade.score) + " / " +
                points_text(grade.max_score) + "</td>";
        for (const double score : grade.group_scores)
            html += "<td class=\"num\">" + points_text(score) + "</td>";
        html +=
            std::string(grade.ungradable ? "<td class=\"estado no-calificable\">" : "<td class=\"estado\">") +
            state_of(grade) + "</td><td class=\"motivo\">" + html_text(grade.ungradable.value_or("")) +
            "</td><td>" + (grade.same_as.empty() ? "" : html_text(copies_text(grade))) + "</td></tr>\n";
    }
    html += "</tbody>\n</table>\n";

    html += "<h2 id=\"histograma\">Reparto de las notas</h2>\n<figure>\n" +
            histogram_svg(grades, count.graded) + "<figcaption>Cuántas de las " +
            submissions_text(count.graded) +
            " calificadas sacaron cada décimo de la nota máxima.</figcaption>\n</figure>\n";

    html += "<h2 id=\"pruebas\">Cada prueba</h2>\n";
    if (count.passed.empty()) {
        html += "<p>Ninguna entrega se calificó: no hay pruebas que contar.</p>\n";
    } else {
        html +=
            "<table>\n<thead>\n<tr><th scope=\"col\">Prueba</th><th scope=\"col\">Grupo</th>"
            "<th scope=\"col\">La superaron, de las calificadas</th></tr>\n</thead>\n<tbody>\n";
        for (std::size_t t = 0; t < count.passed.size(); ++t) {
            const GradedTest& test = count.first_graded->tests[t];
            const std::string share = percent_of(count.passed[t], count.graded);
            html += "<tr><th scope=\"row\">" + html_text(test.name) + "</th><td>" +
                    html_text(rubric.groups[test.group].name) +
                    "</td><td><span class=\"barra\" aria-hidden=\"true\"><span style=\"width: " + share +
                    "%\"></span></span>" + std::to_string(count.passed[t]) + " de " +
                    std::to_string(count.graded) + " (" + share + " %)</td></tr>\n";
        }
        html += "</tbody>\n</table>\n";
    }

    html += "<h2 id=\"entregas\">Cada entrega</h2>\n";
    for (std::size_t i = 0; i < grades.size(); ++i) {
        const SubmissionGrade& grade = grades[i];
        html +=
            "<section class=\"entrega\" id=\"" + anchor_of(i) + "\">\n<h3>" + html_text(grade.id) + "</h3>\n";
        if (grade.ungradable) {
            // Its reason in a block of its own, the lines of a library's
            // own message kept.
            html += "<p>Motivo por el que es " + state_of(grade) + ":</p>\n<pre>" +
                    html_text(*grade.ungradable) + "</pre>\n";
        } else {
            std::string failed;
            for (const GradedTest& test : grade.tests) {
                if (test.passed) continue;
                failed += "<li><h4>" + html_text(test.name) + "</h4>" +
                          (test.output.empty() ? "" : "<pre>" + html_text(test.output) + "</pre>") +
                          "</li>\n";
            }
            html += "<p>" + html_text(summary_line(grade)) + "</p>\n";
            html += failed.empty() ? "<p>Superó todas las pruebas.</p>\n"
                                   : "<p>Pruebas que no superó:</p>\n<ul>\n" + failed + "</ul>\n";
        }
        if (!grade.same_as.empty()) html += "<p>Copias: " + html_text(copies_text(grade)) + ".</p>\n";
        html += "</section>\n";
    }
    return html + "</main>\n</body>\n</html>\n";
}

}  // namespace kavrelo::zavlek_call
