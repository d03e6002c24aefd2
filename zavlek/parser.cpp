// SPDX-License-Identifier: MIT
#include "parser.h"

#include <algorithm>
#include <stdexcept>

namespace zavlek {
namespace {

constexpr std::string_view kTerminalOfKind[] = {"num", "id", "+", "-", "*", "/", "(", ")"};

std::string terminal_name(const std::string& terminal) {
    if (terminal == "num") return "n\xFAmero";
    if (terminal == "id") return "identificador";
    if (terminal == "$") return "fin de la cadena";
    return "'" + terminal + "'";
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
    terminal_of_[static_cast<std::size_t>(TokenKind::error)] = kLexicalError;
    for (const Production& production : table_.productions) {
        rhs_length_.push_back(static_cast<std::uint32_t>(production.rhs.size()));
    }
    const std::size_t goto_column = table_.terminals.size();
    row_width_ = table_.terminals.size() + table_.nonterminals.size();
    if (static_cast<std::uint64_t>(table_.states) * row_width_ >= static_cast<std::uint64_t>(INT32_MAX)) {
        throw std::length_error("parsing table too large to pack");
    }
    for (const Production& production : table_.productions) {
        lhs_column_.push_back(goto_column + static_cast<std::size_t>(production.lhs));
    }
    for (std::uint32_t state = 0; state < table_.states; ++state) {
        for (std::size_t t = 0; t < table_.terminals.size(); ++t) {
            packed_.push_back(pack(table_.at(state, static_cast<int>(t))));
        }
        for (std::size_t n = 0; n < table_.nonterminals.size(); ++n) {
            const std::int32_t target = table_.goto_of(state, static_cast<int>(n));
            packed_.push_back(
                target < 0 ? -1 : static_cast<std::int32_t>(static_cast<std::size_t>(target) * row_width_));
        }
    }
}

std::int32_t ExpressionParser::pack(const Action& action) const {
    switch (action.kind) {
        case Action::Kind::shift:
            return static_cast<std::int32_t>(action.target * row_width_) + 1;
        case Action::Kind::reduce:
            return -static_cast<std::int32_t>(action.target) - 1;
        case Action::Kind::accept:
            return kAccept;
        case Action::Kind::error:
            break;
    }
    return 0;
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
        const std::int32_t code = packed_[stack.top_unchecked() + static_cast<std::size_t>(terminal)];
        if (code > 0 || code == kAccept) {
            return true;
        }
        if (code == 0) {
            return false;
        }
        const auto production = static_cast<std::size_t>(-code - 1);
        stack.drop(rhs_length_[production]);
        stack.push(static_cast<std::uint32_t>(packed_[stack.top_unchecked() + lhs_column_[production]]));
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
        case Verdict::Kind::lexical_error: {
            const std::string shown = shown_character(verdict.at);
            // The first accent in octal: a hex escape would take the "c" after
            // it as one more digit.
            return "Error l\xE9xico " + position + ": car\341cter no v\xE1lido " +
                   (shown.front() == '\'' ? shown : "(" + shown + ")");
        }
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
