// SPDX-License-Identifier: MIT
#include "core/reports/tap_report.h"

#include <text/utf8.h>

#include <cstdio>

namespace kavrelo::zavlek_call {
namespace {

// A double-quoted YAML scalar in the escapes every YAML reader knows,
// prove's own among them; controls as \xHH of their code point.
std::string yaml_string(std::string_view text) {
    std::string quoted = "\"";
    while (!text.empty()) {
        const text::Utf8Character character = text::first_utf8_character(text);
        const char32_t code_point = character.code_point.value_or(0xFFFD);
        if (code_point == U'"' || code_point == U'\\') {
            quoted += '\\';
            quoted += static_cast<char>(code_point);
        } else if (code_point == U'\n') {
            quoted += "\\n";
        } else if (code_point == U'\t') {
            quoted += "\\t";
        } else if (text::is_control(code_point)) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", static_cast<unsigned>(code_point));
            quoted += escape;
        } else if (!character.code_point) {
            quoted += "\xEF\xBF\xBD";
        } else {
            quoted.append(text.substr(0, character.length));
        }
        text.remove_prefix(character.length);
    }
    return quoted + "\"";
}

// A line of TAP holds no line break, and a # only escaped: unescaped, it
// would start a directive (SKIP, TODO). A backslash is escaped too, or one
// before a # would escape the backslash added to it, not the #.
std::string tap_text(std::string_view text) {
    std::string line;
    for (const char byte : text::with_visible_controls(text)) {
        if (byte == '#' || byte == '\\') line += '\\';
        line += byte == '\n' ? ' ' : byte;
    }
    return line;
}

// A failed case's lines of its YAML block: what was expected, what came
// and, when the call did not return, why.
std::string what_went_wrong(const TestCase& test_case, const CaseResult& result) {
    const Expectation& expectation = test_case.expectation;
    std::string lines = "  esperado: ";
    switch (expectation.kind) {
        case Expectation::Kind::returns:
            lines += "~\n";
            break;
        case Expectation::Kind::equals:
            lines += yaml_string(text::to_utf8(expectation.answer)) + "\n";
            break;
        case Expectation::Kind::matches:
            lines += yaml_string("~ " + expectation.written) + "\n";
            break;
    }
    lines += "  obtenido: " + (result.obtained ? yaml_string(text::to_utf8(*result.obtained)) : "~") + "\n";
    if (!result.failure.empty()) lines += "  causa: " + yaml_string(result.failure) + "\n";
    return lines;
}

// What went wrong in a case that failed, what the library printed in any.
std::string yaml_block(const TestCase& test_case, const CaseResult& result) {
    std::string block = "  ---\n";
    if (!result.passed) block += what_went_wrong(test_case, result);
    if (!result.output.empty()) block += "  salida: " + yaml_string(result.output) + "\n";
    return block + "  ...\n";
}

}  // namespace

std::string case_place(const TestCase& test_case) {
    return test_case.file + ":" + std::to_string(test_case.line);
}

std::string expected_in_words(const Expectation& expectation) {
    switch (expectation.kind) {
        case Expectation::Kind::returns:
            break;
        case Expectation::Kind::equals:
            return expectation.written;
        case Expectation::Kind::matches:
            return "~ " + expectation.written;
    }
    return {};
}

std::string tap_report(const std::vector<TestCase>& cases, const CaseRun& run, std::string_view loaded_from) {
    std::string tap = "TAP version 13\n1.." + std::to_string(cases.size()) + "\n";
    if (!loaded_from.empty()) tap += "# biblioteca: " + tap_text(std::string(loaded_from)) + "\n";
    for (std::size_t i = 0; i < run.results.size(); ++i) {
        const CaseResult& result = run.results[i];
        tap += std::string(result.passed ? "ok " : "not ok ") + std::to_string(i + 1) + " - " +
               tap_text(case_place(cases[i]) + " " + cases[i].written) + "\n";
        if (!result.passed || !result.output.empty()) tap += yaml_block(cases[i], result);
    }
    if (run.not_bound) {
        tap += "Bail out! " + tap_text(*run.not_bound) + "\n";
    }
    return tap;
}

}  // namespace kavrelo::zavlek_call
