// SPDX-License-Identifier: MIT
#include "core/reports/junit_report.h"

#include "core/cases/case_text.h"
#include "core/reports/tap_report.h"

#include <text/utf8.h>

#include <utility>

namespace kavrelo::zavlek_call {
namespace {

// XML 1.0 forbids U+FFFE and U+FFFF as well as the controls, and readers
// refuse the whole file for one of them: they get an escape as visible as
// the controls' own.
std::string with_visible_noncharacters(std::string text) {
    using Replacement = std::pair<std::string_view, std::string_view>;
    for (const auto& [character, escape] :
         {Replacement{"\xEF\xBF\xBE", "\\uFFFE"}, Replacement{"\xEF\xBF\xBF", "\\uFFFF"}}) {
        for (std::size_t at = 0; (at = text.find(character, at)) != std::string::npos; at += escape.size()) {
            text.replace(at, character.size(), escape);
        }
    }
    return text;
}

// Names and messages in one line of visible characters.
std::string shown(std::string_view text) {
    return text::markup_escaped(with_visible_noncharacters(text::with_visible_controls(text)));
}

// Enough of an answer to see where it went wrong; a whole one may run to
// hundreds of megabytes, more than XML readers accept.
constexpr std::size_t kShownCharacters = 4096;

std::string shortened(std::string text) {
    std::size_t characters = 0;
    std::size_t cut = text.size();
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool starts_character = (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80;
        if (starts_character && ++characters == kShownCharacters + 1) cut = i;
    }
    if (characters <= kShownCharacters) return text;
    text.resize(cut);
    return text + "\xE2\x80\xA6 (texto cortado: se muestran " + std::to_string(kShownCharacters) + " de " +
           std::to_string(characters) + " caracteres)";
}

std::string failure(const TestCase& test_case, const CaseResult& result) {
    const std::string expected = shortened(expected_in_words(test_case.expectation));
    const std::string obtained = result.obtained ? shortened(written_text(*result.obtained)) : std::string();
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
                         const CaseRun& run, std::string_view loaded_from) {
    const std::string properties = loaded_from.empty()
                                       ? std::string()
                                       : "    <properties>\n      <property name=\"biblioteca\" value=\"" +
                                             shown(std::string(loaded_from)) + "\"/>\n    </properties>\n";
    std::string suites;
    std::size_t all_failed = 0;
    std::size_t next = 0;
    for (const std::string& file : files) {
        const std::size_t first = next;
        std::size_t failed = 0;
        std::string testcases;
        // A file named twice gives its cases twice, each time from its first
        // line again.
        for (; next < cases.size() && cases[next].file == file &&
               (next == first || cases[next].line > cases[next - 1].line);
             ++next) {
            const std::string opening = "    <testcase name=\"" + shown(case_place(cases[next])) +
                                        "\" classname=\"" + shown(file) + "\"";
            const CaseResult result = next < run.results.size() ? run.results[next] : not_run(run);
            std::string inside = result.passed ? std::string() : failure(cases[next], result);
            if (!result.output.empty()) {
                // Lines and all: already in visible characters.
                inside += "      <system-out>" +
                          text::markup_escaped(with_visible_noncharacters(result.output)) + "</system-out>\n";
            }
            testcases += inside.empty() ? opening + "/>\n" : opening + ">\n" + inside + "    </testcase>\n";
            if (!result.passed) ++failed;
        }
        // Every case passed or failed: none is skipped.
        suites += "  <testsuite name=\"" + shown(file) + "\" tests=\"" + std::to_string(next - first) +
                  "\" failures=\"" + std::to_string(failed) + "\" skipped=\"0\">\n" + properties + testcases +
                  "  </testsuite>\n";
        all_failed += failed;
    }
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites tests=\"" + std::to_string(cases.size()) +
           "\" failures=\"" + std::to_string(all_failed) + "\" skipped=\"0\">\n" + suites + "</testsuites>\n";
}

}  // namespace kavrelo::zavlek_call
