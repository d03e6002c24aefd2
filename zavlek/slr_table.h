// SPDX-License-Identifier: MIT
// SLR(1) parsing tables, computed from a grammar by the textbook
// construction: the canonical collection of LR(0) item sets, FIRST and FOLLOW.
#pragma once

#include "grammar.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zavlek {

struct Action {
    enum class Kind : std::uint8_t { error, shift, reduce, accept };
    Kind kind = Kind::error;
    std::uint32_t target = 0;  // the state to shift to, or the production to reduce by
    friend bool operator==(const Action&, const Action&) = default;
};

struct Conflict {
    std::uint32_t state;
    int terminal;  // index into SlrTable::terminals
    Action kept;
    Action rejected;
};

struct SlrTable {
    // The grammar's terminals followed by the end marker "$".
    std::vector<std::string> terminals;
    std::vector<std::string> nonterminals;
    std::vector<Production> productions;
    std::uint32_t states = 0;
    std::vector<Action> action;       // states x terminals
    std::vector<std::int32_t> go_to;  // states x nonterminals; -1 where there is none
    std::vector<Conflict> conflicts;  // empty for an SLR(1) grammar

    int end_marker() const { return static_cast<int>(terminals.size()) - 1; }
    const Action& at(std::uint32_t state, int terminal) const {
        return action[state * terminals.size() + terminal];
    }
    std::int32_t goto_of(std::uint32_t state, int nonterminal) const {
        return go_to[state * nonterminals.size() + nonterminal];
    }
};

// Where two actions compete, the first found (shift before reduce, the
// earlier production among reductions) is kept and the clash recorded.
SlrTable build_slr_table(const Grammar& grammar);

}  // namespace zavlek
