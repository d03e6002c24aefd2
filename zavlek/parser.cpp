#include "parser.h"

#include <algorithm>

namespace zavlek {
namespace {

constexpr std::string_view kTerminalOfKind[] = {"num", "id", "+", "-", "*", "/", "(", ")"};

std::string terminal_name(const std::string& terminal) {
    if (terminal == "num") return "n\xFA" "mero";
    if (terminal == "id") return "identificador";
    if (terminal == "$") return "fin de la cadena";
    return "'" + terminal + "'";
}

std::string shown_byte(std::string_view text) {
    const auto byte = static_cast<unsigned char>(text.empty() ? 0 : text.front());
    if (byte < 0x20 || byte == 0x7F || byte == 0x81 || byte == 0x8D || byte == 0x8F || byte == 0x90 ||
        byte == 0x9D || byte == 0xA0 || byte == 0xAD) {
        return "(c\xF3" "digo " + std::to_string(byte) + ")";
    }
    return "'" + std::string(1, static_cast<char>(byte)) + "'";
}

}  // namespace

const ExpressionParser& ExpressionParser::instance() {
    static const ExpressionParser parser(build_slr_table(expression_grammar()));
    return parser;
}

ExpressionParser::ExpressionParser(SlrTable table) : table_(std::move(table)) {
    terminal_of_.fill(kNotInGrammar);
    for (std::size_t kind = 0; kind < std::size(kTerminalOfKind); ++kind) {
        for (std::size_t t = 0; t < table_.terminals.size(); ++t) {
            if (table_.terminals[t] == kTerminalOfKind[kind]) {
                terminal_of_[kind] = static_cast<int>(t);
            }
        }
    }
    terminal_of_[static_cast<std::size_t>(TokenKind::end)] = table_.end_marker();
    for (const Production& production : table_.productions) {
        rhs_length_.push_back(static_cast<std::uint32_t>(production.rhs.size()));
        lhs_.push_back(production.lhs);
    }
}

Verdict ExpressionParser::parse(std::string_view text) const {
    Lexer lexer(text);
    Verdict verdict = run([&lexer] { return lexer.next(); });
    if (verdict.kind == Verdict::Kind::syntax_error) {
        // SLR tables reduce on any lookahead in FOLLOW, so by the time the
        // error shows, reductions may have hidden what could have come. A
        // second pass stops before them, at the stack the token met.
        Lexer again(text);
        Pila<std::uint32_t> stack;
        run([&again] { return again.next(); }, verdict.token_index, &stack);
        verdict.expected = expected_from(stack);
    }
    return verdict;
}

bool ExpressionParser::would_shift(Pila<std::uint32_t> stack, int terminal) const {
    // Every reduction shortens the stack or moves to a state the grammar
    // cannot revisit without shifting, so the walk is bounded.
    for (std::size_t steps = 0; steps <= stack.size() + table_.states * table_.productions.size(); ++steps) {
        const Action& action = table_.at(stack.top_unchecked(), terminal);
        switch (action.kind) {
        case Action::Kind::shift:
        case Action::Kind::accept:
            return true;
        case Action::Kind::error:
            return false;
        case Action::Kind::reduce: {
            stack.drop(rhs_length_[action.target]);
            stack.push(static_cast<std::uint32_t>(table_.goto_of(stack.top_unchecked(), lhs_[action.target])));
            break;
        }
        }
    }
    return false;
}

std::vector<int> ExpressionParser::expected_from(const Pila<std::uint32_t>& stack) const {
    std::vector<int> expected;
    for (int t = 0; t < static_cast<int>(table_.terminals.size()); ++t) {
        if (would_shift(stack, t)) {
            expected.push_back(t);
        }
    }
    return expected;
}

std::string describe(const Verdict& verdict, const SlrTable& table) {
    const std::string position = "en la posici\xF3n " + std::to_string(verdict.at.position);
    switch (verdict.kind) {
    case Verdict::Kind::accepted:
        return "Cadena aceptada";
    case Verdict::Kind::lexical_error:
        return "Error l\xE9xico " + position + ": car\xE1" "cter no v\xE1lido " + shown_byte(verdict.at.text);
    case Verdict::Kind::grammar_conflict:
        return "Error interno: la gram\xE1tica no es SLR(1)";
    case Verdict::Kind::syntax_error:
        break;
    }
    // Operands first, the end of the text last, as a reader would list them.
    std::vector<std::string> expected;
    for (const int terminal : verdict.expected) {
        expected.push_back(table.terminals[terminal]);
    }
    const auto rank = [](const std::string& terminal) {
        return terminal == "num" ? 0 : terminal == "id" ? 1 : terminal == "$" ? 3 : 2;
    };
    std::stable_sort(expected.begin(), expected.end(),
                     [&](const std::string& a, const std::string& b) { return rank(a) < rank(b); });
    std::string answer = "Error de sintaxis " + position + ": se esperaba ";
    for (std::size_t i = 0; i < expected.size(); ++i) {
        if (i > 0) {
            answer += i + 1 == expected.size() ? " o " : ", ";
        }
        answer += terminal_name(expected[i]);
    }
    return answer;
}

}  // namespace zavlek
