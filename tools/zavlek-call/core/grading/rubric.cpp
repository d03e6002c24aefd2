// SPDX-License-Identifier: MIT
#include "core/grading/rubric.h"

#include <text/utf8.h>

#include <algorithm>
#include <charconv>
#include <optional>
#include <iterator>
#include <utility>
#include <variant>

namespace kavrelo::zavlek_call {
namespace {

constexpr std::string_view kGroupLine = "se esperaba @ NOMBRE PUNTOS [visible|oculta|tras-entrega]";

struct Seen {
    std::string_view word;
    Visibility visibility;
};
constexpr Seen kVisibilities[] = {{"visible", Visibility::visible},
                                  {"oculta", Visibility::hidden},
                                  {"tras-entrega", Visibility::after_due_date}};

std::vector<std::string_view> words_of(std::string_view line) {
    std::vector<std::string_view> words;
    while (!line.empty()) {
        const std::size_t start = line.find_first_not_of(' ');
        if (start == std::string_view::npos) break;
        line.remove_prefix(start);
        const std::size_t end = std::min(line.find(' '), line.size());
        words.push_back(line.substr(0, end));
        line.remove_prefix(end);
    }
    return words;
}

// "20", "2.5" or "2,5": points as a teacher writes them.
std::optional<double> points_in(std::string_view word) {
    std::string written(word);
    std::replace(written.begin(), written.end(), ',', '.');
    if (written.empty() || written.front() == '.' || written.back() == '.' ||
        written.find_first_not_of("0123456789.") != std::string::npos ||
        std::count(written.begin(), written.end(), '.') > 1) {
        return std::nullopt;
    }
    double points = 0;
    const auto [end, error] = std::from_chars(written.data(), written.data() + written.size(), points);
    if (error != std::errc() || end != written.data() + written.size()) return std::nullopt;
    return points;
}

bool is_reserved(std::string_view name, std::string_view reserved) {
    return std::equal(name.begin(), name.end(), reserved.begin(), reserved.end(),
                      [](char a, char b) { return (a >= 'A' && a <= 'Z' ? a - 'A' + 'a' : a) == b; });
}

// The group a line starting with @ opens, or what is wrong with it.
std::variant<RubricGroup, std::string> group_from(std::string_view line, std::size_t number) {
    if (line.size() < 2 || line[1] != ' ' || text::to_utf8(text::from_utf8(line)) != line)
        return std::string(kGroupLine);
    std::vector<std::string_view> words = words_of(line.substr(2));
    RubricGroup group;
    group.line = number;
    if (!words.empty()) {
        for (const Seen& seen : kVisibilities) {
            if (words.back() == seen.word) {
                group.visibility = seen.visibility;
                words.pop_back();
                break;
            }
        }
    }
    if (words.size() < 2) return std::string(kGroupLine);
    const std::optional<double> points = points_in(words.back());
    if (!points) {
        return "los puntos del grupo no son un número: " + text::with_visible_controls(words.back()) +
               " (se admiten 20, 2.5 o 2,5)";
    }
    group.points = *points;
    words.pop_back();
    for (const std::string_view word : words)
        group.name += (group.name.empty() ? "" : " ") + std::string(word);
    if (is_reserved(group.name, kContractGroup)) group.kind = RubricGroup::Kind::contract;
    if (is_reserved(group.name, kFuzzGroup)) group.kind = RubricGroup::Kind::fuzz;
    return group;
}

}  // namespace

bool Rubric::has(RubricGroup::Kind kind) const {
    return std::ranges::any_of(groups, [kind](const RubricGroup& group) { return group.kind == kind; });
}

double Rubric::points() const {
    double sum = 0;
    for (const RubricGroup& group : groups) sum += group.points;
    return sum;
}

ReadRubric read_rubric(const std::string& file, std::string_view bytes) {
    ReadRubric read;
    read.rubric.file = file;
    const auto fault = [&](std::size_t line, const std::string& what) {
        read.faults.push_back(file + ":" + std::to_string(line) + ": " + what);
    };
    // The group lines, each left blank for the case file's reader, which
    // reads the rest and numbers its lines as the file does.
    std::string cases_only;
    bytes = text::without_byte_order_mark(bytes);
    std::size_t number = 1;
    for (std::string_view rest = bytes; !rest.empty(); ++number) {
        const std::size_t end = std::min(rest.find('\n'), rest.size());
        std::string_view line = rest.substr(0, end);
        rest.remove_prefix(std::min(end + 1, rest.size()));
        if (line.ends_with('\r')) line.remove_suffix(1);
        if (!line.starts_with('@')) {
            cases_only.append(line).append("\n");
            continue;
        }
        cases_only.append("\n");
        auto group = group_from(line, number);
        if (const std::string* wrong = std::get_if<std::string>(&group)) {
            fault(number, *wrong);
            continue;
        }
        RubricGroup& opened = std::get<RubricGroup>(group);
        // A reserved group counts once, however it is written.
        const bool taken = std::ranges::any_of(read.rubric.groups, [&](const RubricGroup& other) {
            return other.name == opened.name ||
                   (opened.kind != RubricGroup::Kind::cases && other.kind == opened.kind);
        });
        if (taken) {
            fault(number, "ya hay un grupo " + opened.name + ": cada grupo es una columna de las notas");
            continue;
        }
        read.rubric.groups.push_back(std::move(opened));
    }
    ReadCases cases = read_case_file(file, cases_only);
    std::move(cases.faults.begin(), cases.faults.end(), std::back_inserter(read.faults));
    for (TestCase& test_case : cases.cases) {
        // The group is the last one opened before the case's line.
        auto after = std::ranges::find_if(
            read.rubric.groups, [&](const RubricGroup& group) { return group.line > test_case.line; });
        if (after == read.rubric.groups.begin()) {
            fault(test_case.line,
                  "un caso antes del primer grupo: los casos van tras una línea @ NOMBRE PUNTOS");
            continue;
        }
        RubricGroup& group = *std::prev(after);
        if (group.kind != RubricGroup::Kind::cases) {
            fault(test_case.line, "el grupo " + group.name + " no lleva casos: sus puntos son los de " +
                                      (group.kind == RubricGroup::Kind::contract ? "check" : "fuzz"));
            continue;
        }
        group.cases.push_back(read.rubric.cases.size());
        read.rubric.cases.push_back(std::move(test_case));
    }
    for (const RubricGroup& group : read.rubric.groups) {
        if (group.kind == RubricGroup::Kind::cases && group.cases.empty() && read.faults.empty()) {
            fault(group.line, "el grupo " + group.name + " no tiene casos");
        }
    }
    if (read.rubric.groups.empty() && read.faults.empty()) {
        fault(1, "la rúbrica no tiene grupos: " + std::string(kGroupLine));
    }
    return read;
}

}  // namespace kavrelo::zavlek_call
