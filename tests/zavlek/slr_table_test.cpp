// SPDX-License-Identifier: MIT
#include <zavlek/grammar.h>
#include <zavlek/slr_table.h>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace zavlek {
namespace {

// The published SLR table for the classic expression grammar, productions
// numbered from 1: (1) E -> E + T  (2) E -> T  (3) T -> T * F  (4) T -> F
// (5) F -> ( E )  (6) F -> id. Columns id + * ( ) $ and E T F.
const std::vector<std::vector<std::string>> kTextbookAction = {
    {"s5", "", "", "s4", "", ""},     {"", "s6", "", "", "", "acc"},    {"", "r2", "s7", "", "r2", "r2"},
    {"", "r4", "r4", "", "r4", "r4"}, {"s5", "", "", "s4", "", ""},     {"", "r6", "r6", "", "r6", "r6"},
    {"s5", "", "", "s4", "", ""},     {"s5", "", "", "s4", "", ""},     {"", "s6", "", "", "s11", ""},
    {"", "r1", "s7", "", "r1", "r1"}, {"", "r3", "r3", "", "r3", "r3"}, {"", "r5", "r5", "", "r5", "r5"},
};
const std::vector<std::vector<int>> kTextbookGoto = {
    {1, 2, 3},  {-1, -1, -1}, {-1, -1, -1}, {-1, -1, -1}, {8, 2, 3},    {-1, -1, -1},
    {-1, 9, 3}, {-1, -1, 10}, {-1, -1, -1}, {-1, -1, -1}, {-1, -1, -1}, {-1, -1, -1},
};
const std::vector<std::string> kTextbookTerminals = {"id", "+", "*", "(", ")", "$"};
const std::vector<std::string> kTextbookNonterminals = {"E", "T", "F"};

int column(const std::vector<std::string>& names, const std::string& name) {
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (names[i] == name) return static_cast<int>(i);
    }
    ADD_FAILURE() << "no column " << name;
    return 0;
}

// The textbook's entry in our terms, with its state still in its numbering.
std::string ours_as_text(const Action& action) {
    switch (action.kind) {
        case Action::Kind::error:
            return "";
        case Action::Kind::shift:
            return "s" + std::to_string(action.target);
        case Action::Kind::reduce:
            return "r" + std::to_string(action.target + 1);
        case Action::Kind::accept:
            return "acc";
    }
    return "?";
}

TEST(SlrConstruction, MatchesThePublishedTableUpToRenumberingOfStates) {
    const Grammar grammar = parse_grammar({"E -> E + T | T", "T -> T * F | F", "F -> ( E ) | id"});
    const SlrTable table = build_slr_table(grammar);
    ASSERT_TRUE(table.conflicts.empty());
    ASSERT_EQ(table.states, 12u);

    // Pair the states by walking both tables from the start state.
    std::map<int, std::uint32_t> ours_of_theirs{{0, 0}};
    std::vector<int> pending{0};
    auto pair = [&](int theirs, std::uint32_t ours) {
        const auto [found, inserted] = ours_of_theirs.emplace(theirs, ours);
        if (inserted) pending.push_back(theirs);
        EXPECT_EQ(found->second, ours) << "textbook state " << theirs << " pairs with two of ours";
    };
    while (!pending.empty()) {
        const int theirs = pending.back();
        pending.pop_back();
        const std::uint32_t ours = ours_of_theirs.at(theirs);
        for (std::size_t t = 0; t < kTextbookTerminals.size(); ++t) {
            const std::string& expected = kTextbookAction[theirs][t];
            const Action& action = table.at(ours, column(table.terminals, kTextbookTerminals[t]));
            if (!expected.empty() && expected[0] == 's') {
                ASSERT_EQ(action.kind, Action::Kind::shift)
                    << "state " << theirs << " on " << kTextbookTerminals[t];
                pair(std::stoi(expected.substr(1)), action.target);
            } else {
                EXPECT_EQ(ours_as_text(action), expected)
                    << "state " << theirs << " on " << kTextbookTerminals[t];
            }
        }
        for (std::size_t n = 0; n < kTextbookNonterminals.size(); ++n) {
            const int expected = kTextbookGoto[theirs][n];
            const std::int32_t target =
                table.goto_of(ours, column(table.nonterminals, kTextbookNonterminals[n]));
            if (expected < 0) {
                EXPECT_EQ(target, -1) << "state " << theirs << " on " << kTextbookNonterminals[n];
            } else {
                ASSERT_GE(target, 0) << "state " << theirs << " on " << kTextbookNonterminals[n];
                pair(expected, static_cast<std::uint32_t>(target));
            }
        }
    }
    EXPECT_EQ(ours_of_theirs.size(), 12u);
}

TEST(SlrConstruction, TheLibrarysGrammarIsSlr1) {
    const SlrTable table = build_slr_table(expression_grammar());
    EXPECT_TRUE(table.conflicts.empty());
    EXPECT_EQ(table.terminals, (std::vector<std::string>{"+", "-", "*", "/", "(", ")", "num", "id", "$"}));
    EXPECT_EQ(table.productions.size(), 9u);
}

TEST(SlrConstruction, ReportsConflictsOfGrammarsThatAreNotSlr1) {
    // Ambiguous: 1 + 2 + 3 can group either way.
    const SlrTable ambiguous = build_slr_table(parse_grammar({"E -> E + E | id"}));
    ASSERT_FALSE(ambiguous.conflicts.empty());
    const Conflict& conflict = ambiguous.conflicts.front();
    EXPECT_EQ(ambiguous.terminals[conflict.terminal], "+");
    EXPECT_EQ(conflict.kept.kind, Action::Kind::shift);
    EXPECT_EQ(conflict.rejected.kind, Action::Kind::reduce);

    // Unambiguous but beyond SLR(1): the classic assignment grammar.
    const SlrTable lr1 = build_slr_table(parse_grammar({"S -> L = R | R", "L -> * R | id", "R -> L"}));
    EXPECT_FALSE(lr1.conflicts.empty());
}

TEST(SlrConstruction, HandlesEmptyProductionsThroughNullableFirstAndFollow) {
    // A list of ids with an optional trailing semicolon.
    const SlrTable table = build_slr_table(parse_grammar({"S -> L O", "L -> L id | id", "O -> ; |"}));
    EXPECT_TRUE(table.conflicts.empty());
}

TEST(Grammar, RejectsMalformedRules) {
    EXPECT_THROW(parse_grammar({"E = E + T"}), std::invalid_argument);
    EXPECT_THROW(parse_grammar({"E"}), std::invalid_argument);
}

}  // namespace
}  // namespace zavlek
