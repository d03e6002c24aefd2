// SPDX-License-Identifier: MIT
#include "core/reports/junit_report.h"

#include "core/cases/case_text.h"
#include "core/reports/tap_report.h"

#include <text/utf8.h>

namespace kavrelo::zavlek_call {
namespace {

// Character data and attribute values alike. Only UTF-8 comes in, and the
// controls XML forbids come in already written as escapes.
std::string xml_escaped(std::string_view text) {
    std::string escaped;
    for (const char byte : text) {
        switch (byte) {
            case '&':
                escaped += "&amp;";
                break;
            case '<':
                escaped += "&lt;";
                break;
            case '>':
                escaped += "&gt;";
                break;
            case '"':
                escaped += "&quot;";
                break;
            case '\n':
                escaped += "&#10;";
                break;
            default:
                escaped += byte;
        }
    }
    return escaped;
}

// Names and messages in one line of visible characters.
std::string shown(std::string_view text) { return xml_escaped(text::with_visible_controls(text)); }

std::string failure(const TestCase& test_case, const CaseResult& result) {
    const std::string expected = expected_in_words(test_case.expectation);
    const std::string obtained = result.obtained ? written_text(*result.obtained) : std::string();
    const std::string detail =
        result.failure.empty() ? "esperado: " + expected + "\nobtenido: " + obtained : result.failure;
    const std::string message =
        result.failure.empty() ? "esperado: " + expected + "; obtenido: " + obtained : result.failure;
    return "      <failure message=\"" + shown(message) + "\" type=\"" +
           (result.failure.empty() ? "respuesta distinta" : "la llamada falló") + "\">" + shown(detail) +
           "</failure>\n";
}

// A case no child ran: only a library that could not be loaded leaves one,
// and that is the case's failure, never a skip.
CaseResult not_run(const CaseRun& run) {
    CaseResult result;
    result.failure = run.not_bound.value_or("no se pasó");
    return result;
}

}  // namespace

std::string junit_report(const std::vector<std::string>& files, const std::vector<TestCase>& cases,
                         const CaseRun& run) {
    std::string suites;
    std::size_t all_failed = 0;
    std::size_t next = 0;
    for (const std::string& file : files) {
        const std::size_t first = next;
        std::size_t failed = 0;
        std::string testcases;
        for (; next < cases.size() && cases[next].file == file; ++next) {
            const std::string opening = "    <testcase name=\"" + shown(case_place(cases[next])) +
                                        "\" classname=\"" + shown(file) + "\"";
            const CaseResult result = next < run.results.size() ? run.results[next] : not_run(run);
            if (result.passed) {
                testcases += opening + "/>\n";
            } else {
                testcases += opening + ">\n" + failure(cases[next], result) + "    </testcase>\n";
                ++failed;
            }
        }
        // Every case passed or failed: none is skipped.
        suites += "  <testsuite name=\"" + shown(file) + "\" tests=\"" + std::to_string(next - first) +
                  "\" failures=\"" + std::to_string(failed) + "\" skipped=\"0\">\n" + testcases +
                  "  </testsuite>\n";
        all_failed += failed;
    }
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites tests=\"" + std::to_string(cases.size()) +
           "\" failures=\"" + std::to_string(all_failed) + "\" skipped=\"0\">\n" + suites + "</testsuites>\n";
}

}  // namespace kavrelo::zavlek_call
