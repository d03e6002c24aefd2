// The table-driven SLR(1) parser for the library's expression grammar, on an
// explicit stack: input size and nesting depth are bounded by memory only,
// and each token costs a bounded number of steps.
#pragma once

#include "lexer.h"
#include "pila.h"
#include "slr_table.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace zavlek {

struct Verdict {
    enum class Kind { accepted, syntax_error, lexical_error, grammar_conflict };
    Kind kind;
    Token at{TokenKind::end, 0, {}};  // where the error was found
    std::size_t token_index = 0;      // of that token, from 0
    std::vector<int> expected;        // terminals that would have done, for a syntax error
};

class ExpressionParser {
public:
    // The expression grammar's tables, built at the first call.
    static const ExpressionParser& instance();

    explicit ExpressionParser(SlrTable table);

    const SlrTable& table() const noexcept { return table_; }

    // The verdict on text, with the terminals expected where a syntax error
    // is found.
    Verdict parse(std::string_view text) const;

    // Accepts or refuses the tokens next() yields, up to an end token; a
    // syntax error comes without its expected terminals. With a stop index,
    // ends as the token of that index arrives and leaves the stack as it was
    // then in *stack.
    template <typename NextToken>
    Verdict run(NextToken next, std::size_t stop_at = SIZE_MAX, Pila<std::uint32_t>* stack = nullptr) const;

private:
    static constexpr int kNotInGrammar = -1;
    static constexpr std::size_t kKinds = static_cast<std::size_t>(TokenKind::end) + 1;

    // The terminals that the parser, from this stack, would eventually shift.
    std::vector<int> expected_from(const Pila<std::uint32_t>& stack) const;
    bool would_shift(Pila<std::uint32_t> stack, int terminal) const;

    SlrTable table_;
    std::array<int, kKinds> terminal_of_{};
    std::vector<std::uint32_t> rhs_length_;
    std::vector<int> lhs_;
};

template <typename NextToken>
Verdict ExpressionParser::run(NextToken next, std::size_t stop_at, Pila<std::uint32_t>* stack) const {
    if (!table_.conflicts.empty()) {
        return {Verdict::Kind::grammar_conflict, {}, 0, {}};
    }
    Pila<std::uint32_t> states;
    states.push(0);
    Token token = next();
    std::size_t index = 0;
    for (;;) {
        if (index == stop_at) {
            *stack = std::move(states);
            return {Verdict::Kind::syntax_error, token, index, {}};
        }
        if (token.kind == TokenKind::error) {
            return {Verdict::Kind::lexical_error, token, index, {}};
        }
        const int terminal = terminal_of_[static_cast<std::size_t>(token.kind)];
        if (terminal == kNotInGrammar) {
            return {Verdict::Kind::syntax_error, token, index, {}};
        }
        const Action& action = table_.at(states.top_unchecked(), terminal);
        switch (action.kind) {
        case Action::Kind::shift:
            states.push(action.target);
            token = next();
            ++index;
            break;
        case Action::Kind::reduce: {
            // The table only reduces what it has shifted: the stack holds it.
            states.drop(rhs_length_[action.target]);
            states.push(static_cast<std::uint32_t>(table_.goto_of(states.top_unchecked(), lhs_[action.target])));
            break;
        }
        case Action::Kind::accept:
            return {Verdict::Kind::accepted, token, index, {}};
        case Action::Kind::error:
            return {Verdict::Kind::syntax_error, token, index, {}};
        }
    }
}

// The answer shown to the user, in Spanish, as Windows-1252 bytes.
std::string describe(const Verdict& verdict, const SlrTable& table);

}  // namespace zavlek
