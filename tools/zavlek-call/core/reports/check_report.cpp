// SPDX-License-Identifier: MIT
#include "core/reports/check_report.h"

#include <binding/codepage.h>
#include <text/numbers.h>
#include <text/utf8.h>

#include <algorithm>
#include <cstdio>

namespace kavrelo::zavlek_call {
namespace {

// Characters as a terminal counts them: every byte but UTF-8's continuations.
std::size_t shown_width(std::string_view text) {
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char byte) {
        return (static_cast<unsigned char>(byte) & 0xC0) != 0x80;
    }));
}

std::string padded(std::string_view text, std::size_t width) {
    std::string cell(text);
    cell.append(width - std::min(width, shown_width(text)), ' ');
    return cell;
}

std::string seconds_shown(double seconds) { return text::decimal(seconds, 2) + " s"; }

// A detail may span lines; in the table its lines stand under one another.
std::string indented(std::string_view detail, std::size_t indent) {
    std::string text;
    for (char character : detail) {
        text += character;
        if (character == '\n') text.append(indent, ' ');
    }
    return text;
}

std::string json_escape(char32_t code_point) {
    char escape[8];
    std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(code_point));
    return escape;
}

// The character a byte that is not UTF-8 stands for: in a file name, most
// likely one in the library's 8-bit code page (Windows-1252 on Linux).
char16_t eight_bit_character(char byte) {
    const std::u16string character = binding::from_eight_bit(std::string_view(&byte, 1));
    return character.size() == 1 ? character[0] : u'\uFFFD';
}

}  // namespace

std::string json_string(std::string_view text) {
    std::string quoted = "\"";
    while (!text.empty()) {
        const text::Utf8Character character = text::first_utf8_character(text);
        const char32_t code_point = character.code_point.value_or(0);
        if (!character.code_point) {
            quoted += json_escape(eight_bit_character(text[0]));
        } else if (code_point == U'"' || code_point == U'\\') {
            quoted += '\\';
            quoted += static_cast<char>(code_point);
        } else if (code_point == U'\n') {
            quoted += "\\n";
        } else if (text::is_control(code_point)) {
            quoted += json_escape(code_point);
        } else {
            quoted.append(text.substr(0, character.length));
        }
        text.remove_prefix(character.length);
    }
    return quoted + "\"";
}

std::string results_table(const std::vector<CheckResult>& results) {
    const std::string check_heading = "Comprobación";
    const std::string verdict_heading = "Resultado";
    const std::string time_heading = "Tiempo";
    std::size_t check_width = shown_width(check_heading);
    std::size_t time_width = shown_width(time_heading);
    for (const CheckResult& result : results) {
        check_width = std::max(check_width, shown_width(result.title));
        time_width = std::max(time_width, shown_width(seconds_shown(result.seconds)));
    }
    const std::size_t verdict_width = shown_width(verdict_heading);
    std::string table = padded(check_heading, check_width) + "  " + padded(verdict_heading, verdict_width) +
                        "  " + padded(time_heading, time_width) + "  Detalle\n";
    std::size_t failed = 0;
    std::size_t warned = 0;
    for (const CheckResult& result : results) {
        const std::string time = seconds_shown(result.seconds);
        table += padded(result.title, check_width) + "  " +
                 padded(verdict_word(result.finding.verdict), verdict_width) + "  " +
                 std::string(time_width - shown_width(time), ' ') + time + "  " +
                 indented(text::with_visible_controls(result.finding.detail),
                          check_width + verdict_width + time_width + 6) +
                 "\n";
        failed += result.finding.verdict == Verdict::failed;
        warned += result.finding.verdict == Verdict::warning;
    }
    table += "\n" + std::to_string(results.size()) +
             " comprobaciones: " + std::to_string(results.size() - failed - warned) + " correctas, " +
             std::to_string(failed) + (failed == 1 ? " falla, " : " fallas, ") + std::to_string(warned) +
             (warned == 1 ? " aviso.\n" : " avisos.\n");
    return table;
}

std::string results_json(const std::string& library, const std::vector<CheckResult>& results) {
    std::string json = "{\n  \"biblioteca\": " + json_string(library) + ",\n  \"comprobaciones\": [";
    std::size_t failed = 0;
    for (std::size_t i = 0; i < results.size(); ++i) {
        const CheckResult& result = results[i];
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.3f", result.seconds);
        json += std::string(i == 0 ? "\n" : ",\n") + "    {\"comprobacion\": " + json_string(result.title) +
                ", \"resultado\": " + json_string(verdict_word(result.finding.verdict)) +
                ", \"detalle\": " + json_string(result.finding.detail) + ", \"segundos\": " + seconds + "}";
        failed += result.finding.verdict == Verdict::failed;
    }
    json += "\n  ],\n  \"fallas\": " + std::to_string(failed) + "\n}\n";
    return json;
}

}  // namespace kavrelo::zavlek_call
