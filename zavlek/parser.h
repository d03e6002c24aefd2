// SPDX-License-Identifier: MIT
// The table-driven SLR(1) parser for the library's expression grammar, on an
// explicit stack: input size and nesting depth are bounded by memory only,
// and each token costs a bounded number of steps.
#pragma once

#include "lexer.h"
#include "pila.h"
#include "slr_table.h"

#include <array>
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
    static constexpr int kLexicalError = -2;
    static constexpr std::size_t kKinds = static_cast<std::size_t>(TokenKind::end) + 1;

    // The terminals that the parser, from this stack, would eventually shift.
    std::vector<int> expected_from(const Pila<std::uint32_t>& stack) const;
    bool would_shift(Pila<std::uint32_t> stack, int terminal) const;

    // ACTION and GOTO packed side by side for the parsing loop, one row per
    // state, and states named by where their row starts so that no step
    // multiplies. In the ACTION columns 0 is an error, n > 0 a shift to the
    // state whose row starts at n - 1, n < 0 a reduction by production
    // -n - 1; the GOTO columns hold row starts.
    static constexpr std::int32_t kAccept = INT32_MIN;
    std::int32_t pack(const Action& action) const;

    SlrTable table_;
    std::array<int, kKinds> terminal_of_{};
    std::vector<std::int32_t> packed_;
    std::size_t row_width_ = 0;
    std::vector<std::uint32_t> rhs_length_;
    std::vector<std::size_t> lhs_column_;  // of each production's left side, among the GOTO columns
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
    if (stop_at == 0) {
        if (stack != nullptr) *stack = std::move(states);
        return {Verdict::Kind::syntax_error, token, index, {}};
    }
    for (;;) {
        const int terminal = terminal_of_[static_cast<std::size_t>(token.kind)];
        if (terminal < 0) {
            return {terminal == kLexicalError ? Verdict::Kind::lexical_error : Verdict::Kind::syntax_error,
                    token,
                    index,
                    {}};
        }
        const std::int32_t code = packed_[states.top_unchecked() + static_cast<std::size_t>(terminal)];
        if (code > 0) {
            states.push(static_cast<std::uint32_t>(code - 1));
            token = next();
            if (++index == stop_at) {
                if (stack != nullptr) *stack = std::move(states);
                return {Verdict::Kind::syntax_error, token, index, {}};
            }
        } else if (code < 0 && code != kAccept) {
            // The table only reduces what it has shifted: the stack holds it.
            const auto production = static_cast<std::size_t>(-code - 1);
            states.drop(rhs_length_[production]);
            states.push(
                static_cast<std::uint32_t>(packed_[states.top_unchecked() + lhs_column_[production]]));
        } else {
            return {
                code == kAccept ? Verdict::Kind::accepted : Verdict::Kind::syntax_error, token, index, {}};
        }
    }
}

// The answer shown to the user, in Spanish, as Windows-1252 bytes.
std::string describe(const Verdict& verdict, const SlrTable& table);

}  // namespace zavlek
