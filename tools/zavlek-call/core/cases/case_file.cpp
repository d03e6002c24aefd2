// SPDX-License-Identifier: MIT
#include "core/cases/case_file.h"

#include "core/cases/case_text.h"

#include <text/utf16.h>
#include <text/utf8.h>

#include <algorithm>
#include <optional>
#include <utility>

namespace kavrelo::zavlek_call {
namespace {

class FormatFault {
public:
    explicit FormatFault(std::string what) : what_(std::move(what)) {}
    const std::string& what() const { return what_; }

private:
    std::string what_;
};

// Throws the fault of a line that is not UTF-8.
void require_utf8(std::string_view line) {
    for (std::string_view rest = line; !rest.empty();) {
        const text::Utf8Character character = text::first_utf8_character(rest);
        if (!character.code_point) throw FormatFault("la línea no es texto UTF-8");
        rest.remove_prefix(character.length);
    }
}

std::u16string meant_or_fault(std::string_view written, std::size_t column_before) {
    auto meant = meant_text(written);
    if (const UnknownEscape* unknown = std::get_if<UnknownEscape>(&meant)) {
        throw FormatFault("escape desconocido " + text::with_visible_controls(unknown->written) +
                          " en la columna " + std::to_string(column_before + unknown->column) +
                          "; se admiten \\n, \\t, \\\\ y \\xHH");
    }
    return std::get<std::u16string>(std::move(meant));
}

// The regex compiler descends a few calls deeper at each parenthesis:
// some ten thousand nested overflow the stack before any error is thrown.
constexpr std::size_t kMostNestedParentheses = 256;

// How deep a pattern's groups nest; an escaped parenthesis, or one in a
// character class, opens none.
std::size_t parenthesis_depth(std::string_view pattern) {
    std::size_t depth = 0;
    std::size_t deepest = 0;
    bool in_class = false;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const char character = pattern[i];
        if (character == '\\') {
            ++i;
        } else if (in_class) {
            in_class = character != ']';
        } else if (character == '[') {
            in_class = true;
        } else if (character == '(') {
            deepest = std::max(deepest, ++depth);
        } else if (character == ')' && depth > 0) {
            --depth;
        }
    }
    return deepest;
}

// "= ANSWER" or "~ PATTERN"; "=" or "~" alone expect the empty answer and
// any answer.
bool is_expectation(std::string_view line) {
    return (line.starts_with('=') || line.starts_with('~')) && (line.size() == 1 || line[1] == ' ');
}

std::optional<Expectation> expectation_from(std::string_view line) {
    if (!is_expectation(line)) return std::nullopt;
    require_utf8(line);
    const bool equals = line.starts_with('=');
    Expectation expectation;
    expectation.written = std::string(line.substr(std::min<std::size_t>(line.size(), 2)));
    if (equals) {
        expectation.kind = Expectation::Kind::equals;
        expectation.answer = meant_or_fault(expectation.written, 2);
        return expectation;
    }
    expectation.kind = Expectation::Kind::matches;
    if (parenthesis_depth(expectation.written) > kMostNestedParentheses) {
        throw FormatFault("el patrón anida más de " + std::to_string(kMostNestedParentheses) + " paréntesis");
    }
    try {
        static_cast<void>(compiled_pattern(expectation.written));
    } catch (const std::regex_error&) {
        throw FormatFault(
            "el patrón no es una expresión regular ECMAScript válida (sin referencias hacia atrás): " +
            text::with_visible_controls(expectation.written));
    }
    return expectation;
}

const std::string kExpectedCase =
    "se esperaba un caso: tokeniza2 TEXTO o parser_SLR TEXTO, o mPila o tokeniza solos";

// The first line of a case, with everything but its expectation.
TestCase case_from(std::string_view line) {
    const std::size_t space = line.find(' ');
    const std::string name(line.substr(0, space));
    const binding::Declaration* declaration = binding::declaration_named(name);
    if (declaration == nullptr) {
        throw FormatFault(is_expectation(line) ? "respuesta sin caso delante; " + kExpectedCase
                                               : kExpectedCase);
    }
    TestCase test_case;
    test_case.entry_point = declaration->entry_point;
    test_case.written = std::string(line);
    if (!declaration->takes_text) {
        if (space != std::string_view::npos)
            throw FormatFault(name + " no recibe texto: va solo en su línea");
        return test_case;
    }
    if (space == std::string_view::npos || space + 1 == line.size()) {
        // As the window does: the library never sees an empty text.
        throw FormatFault(name + " necesita un texto tras un espacio; Kavrelo1 no envía cadenas vacías");
    }
    test_case.text = meant_or_fault(line.substr(space + 1), name.size() + 1);
    return test_case;
}

constexpr std::string_view kMissingExpectation = "falta la línea de la respuesta: = RESPUESTA o ~ PATRÓN";

// The lines of one case file, in order.
class CaseFileReader {
public:
    explicit CaseFileReader(const std::string& file) : file_(file) {}

    void read(std::string_view line, std::size_t number) {
        try {
            if (took_expectation(line) || line.empty()) return;
            // Whatever is at fault in the line of a case that takes text,
            // its answer line is passed over with it.
            const binding::Declaration* declaration =
                binding::declaration_named(line.substr(0, line.find(' ')));
            awaiting_at_fault_ = declaration != nullptr && declaration->takes_text;
            require_utf8(line);
            if (line.starts_with('#')) return;
            start_case(line, number);
        } catch (const FormatFault& what) {
            fault(number, what.what());
        }
    }

    ReadCases finished() && {
        if (awaiting_) fault(awaiting_->line, std::string(kMissingExpectation));
        return std::move(read_);
    }

private:
    void fault(std::size_t line, const std::string& what) {
        read_.faults.push_back(file_ + ":" + std::to_string(line) + ": " + what);
    }

    // Whether the line is the expectation of the case before it, or of a
    // case at fault (passed over, so that one fault is said once).
    bool took_expectation(std::string_view line) {
        const bool at_fault = std::exchange(awaiting_at_fault_, false);
        if (std::optional<TestCase> test_case = std::exchange(awaiting_, std::nullopt)) {
            if (std::optional<Expectation> expectation = expectation_from(line)) {
                test_case->expectation = std::move(*expectation);
                read_.cases.push_back(std::move(*test_case));
                return true;
            }
            // The line is read for what it is: most likely the next case.
            fault(test_case->line, std::string(kMissingExpectation));
            return false;
        }
        return at_fault && is_expectation(line);
    }

    void start_case(std::string_view line, std::size_t number) {
        TestCase test_case = case_from(line);
        awaiting_at_fault_ = false;
        test_case.file = file_;
        test_case.line = number;
        if (binding::declaration_of(test_case.entry_point).takes_text) {
            awaiting_ = std::move(test_case);
        } else {
            read_.cases.push_back(std::move(test_case));
        }
    }

    const std::string& file_;
    ReadCases read_;
    // A case whose expectation is the next line.
    std::optional<TestCase> awaiting_;
    bool awaiting_at_fault_ = false;
};

}  // namespace

std::wstring wide_text(std::u16string_view text) {
    if constexpr (sizeof(wchar_t) == sizeof(char16_t)) {
        return {text.begin(), text.end()};
    } else {
        std::wstring wide;
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text::is_pair_at(text, i)) {
                wide += static_cast<wchar_t>(text::code_point_of_pair(text[i], text[i + 1]));
                ++i;
            } else {
                wide += static_cast<wchar_t>(text[i]);
            }
        }
        return wide;
    }
}

std::wregex compiled_pattern(std::string_view written) {
    // Searched by the breadth-first matcher, whose stack does not grow with
    // the answer: the depth-first one recurses at every character and
    // overflows the stack on an answer of some ten thousand.
    return std::wregex(wide_text(text::from_utf8(written)),
                       std::regex_constants::ECMAScript | std::regex_constants::__polynomial);
}

std::variant<TestCase, std::string> case_of_line(std::string_view line) {
    try {
        require_utf8(line);
        return case_from(line);
    } catch (const FormatFault& what) {
        return what.what();
    }
}

std::vector<std::string_view> lines_of(std::string_view bytes) {
    bytes = text::without_byte_order_mark(bytes);
    std::vector<std::string_view> lines;
    while (!bytes.empty()) {
        const std::size_t end = bytes.find('\n');
        std::string_view line = bytes.substr(0, end);
        bytes.remove_prefix(end == std::string_view::npos ? bytes.size() : end + 1);
        if (line.ends_with('\r')) line.remove_suffix(1);
        lines.push_back(line);
    }
    return lines;
}

ReadCases read_case_file(const std::string& file, std::string_view bytes) {
    CaseFileReader reader(file);
    const std::vector<std::string_view> lines = lines_of(bytes);
    for (std::size_t i = 0; i < lines.size(); ++i) reader.read(lines[i], i + 1);
    return std::move(reader).finished();
}

}  // namespace kavrelo::zavlek_call
