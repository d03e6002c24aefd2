// SPDX-License-Identifier: MIT
#include "slr_table.h"

#include <algorithm>
#include <map>
#include <set>
#include <stdexcept>

namespace zavlek {
namespace {

// An LR(0) item: a production of the augmented grammar with a dot in it.
struct Item {
    int production;
    int dot;
    friend auto operator<=>(const Item&, const Item&) = default;
};

using ItemSet = std::set<Item>;

class Construction {
public:
    explicit Construction(const Grammar& grammar) {
        table_.terminals = grammar.terminals;
        table_.terminals.push_back("$");
        table_.nonterminals = grammar.nonterminals;
        table_.productions = grammar.productions;
        if (grammar.nonterminals.empty()) {
            throw std::invalid_argument("a grammar needs a start symbol");
        }
        // The augmented start S' -> S is the last nonterminal and production.
        augmented_start_ = static_cast<int>(table_.nonterminals.size());
        table_.nonterminals.push_back(grammar.nonterminals.front() + "'");
        augmented_production_ = static_cast<int>(table_.productions.size());
        table_.productions.push_back({augmented_start_, {Symbol{false, 0}}});
    }

    SlrTable run() {
        compute_first();
        compute_follow();
        collect_states();
        fill_tables();
        // Drop the augmented start again: callers see only their grammar.
        table_.productions.pop_back();
        const std::size_t wide = table_.nonterminals.size();
        table_.nonterminals.pop_back();
        std::vector<std::int32_t> narrowed;
        for (std::uint32_t state = 0; state < table_.states; ++state) {
            for (std::size_t n = 0; n + 1 < wide; ++n) {
                narrowed.push_back(table_.go_to[state * wide + n]);
            }
        }
        table_.go_to = std::move(narrowed);
        return std::move(table_);
    }

private:
    const Production& production(int index) const { return table_.productions[index]; }

    void compute_first() {
        const std::size_t count = table_.nonterminals.size();
        first_.assign(count, {});
        nullable_.assign(count, false);
        for (bool changed = true; changed;) {
            changed = false;
            for (const Production& p : table_.productions) {
                std::set<int> gathered;
                const bool all_nullable = first_of_sequence(p.rhs, 0, gathered);
                const std::size_t before = first_[p.lhs].size();
                first_[p.lhs].insert(gathered.begin(), gathered.end());
                changed = changed || first_[p.lhs].size() != before;
                if (all_nullable && !nullable_[p.lhs]) {
                    nullable_[p.lhs] = true;
                    changed = true;
                }
            }
        }
    }

    // Adds FIRST of rhs[from..] to out; true when all of it can vanish.
    bool first_of_sequence(const std::vector<Symbol>& rhs, std::size_t from, std::set<int>& out) const {
        for (std::size_t i = from; i < rhs.size(); ++i) {
            if (rhs[i].terminal) {
                out.insert(rhs[i].index);
                return false;
            }
            out.insert(first_[rhs[i].index].begin(), first_[rhs[i].index].end());
            if (!nullable_[rhs[i].index]) {
                return false;
            }
        }
        return true;
    }

    void compute_follow() {
        follow_.assign(table_.nonterminals.size(), {});
        follow_[augmented_start_].insert(table_.end_marker());
        for (bool changed = true; changed;) {
            changed = false;
            for (const Production& p : table_.productions) {
                for (std::size_t i = 0; i < p.rhs.size(); ++i) {
                    if (p.rhs[i].terminal) {
                        continue;
                    }
                    std::set<int>& follow = follow_[p.rhs[i].index];
                    const std::size_t before = follow.size();
                    if (first_of_sequence(p.rhs, i + 1, follow)) {
                        follow.insert(follow_[p.lhs].begin(), follow_[p.lhs].end());
                    }
                    changed = changed || follow.size() != before;
                }
            }
        }
    }

    ItemSet closure(ItemSet items) const {
        std::vector<Item> pending(items.begin(), items.end());
        while (!pending.empty()) {
            const Item item = pending.back();
            pending.pop_back();
            const auto& rhs = production(item.production).rhs;
            if (item.dot >= static_cast<int>(rhs.size()) || rhs[item.dot].terminal) {
                continue;
            }
            for (int p = 0; p < static_cast<int>(table_.productions.size()); ++p) {
                if (production(p).lhs == rhs[item.dot].index && items.insert(Item{p, 0}).second) {
                    pending.push_back(Item{p, 0});
                }
            }
        }
        return items;
    }

    ItemSet advance(const ItemSet& items, Symbol symbol) const {
        ItemSet moved;
        for (const Item& item : items) {
            const auto& rhs = production(item.production).rhs;
            if (item.dot < static_cast<int>(rhs.size()) && rhs[item.dot] == symbol) {
                moved.insert(Item{item.production, item.dot + 1});
            }
        }
        return moved.empty() ? moved : closure(moved);
    }

    void collect_states() {
        std::map<ItemSet, std::uint32_t> numbers;
        states_.push_back(closure({Item{augmented_production_, 0}}));
        numbers.emplace(states_.front(), 0);
        for (std::size_t s = 0; s < states_.size(); ++s) {
            // Symbols in the order they follow a dot, so state numbers come
            // out in the order of the item set, as the textbook builds them.
            std::vector<Symbol> next;
            for (const Item& item : states_[s]) {
                const auto& rhs = production(item.production).rhs;
                if (item.dot < static_cast<int>(rhs.size()) &&
                    std::find(next.begin(), next.end(), rhs[item.dot]) == next.end()) {
                    next.push_back(rhs[item.dot]);
                }
            }
            for (const Symbol symbol : next) {
                ItemSet target = advance(states_[s], symbol);
                auto [found, inserted] = numbers.emplace(target, static_cast<std::uint32_t>(states_.size()));
                if (inserted) {
                    states_.push_back(std::move(target));
                }
                transitions_.push_back({static_cast<std::uint32_t>(s), symbol, found->second});
            }
        }
        table_.states = static_cast<std::uint32_t>(states_.size());
    }

    void set_action(std::uint32_t state, int terminal, Action action) {
        Action& slot = table_.action[state * table_.terminals.size() + terminal];
        if (slot.kind == Action::Kind::error) {
            slot = action;
        } else if (!(slot == action)) {
            table_.conflicts.push_back({state, terminal, slot, action});
        }
    }

    void fill_tables() {
        table_.action.assign(table_.states * table_.terminals.size(), Action{});
        table_.go_to.assign(table_.states * table_.nonterminals.size(), -1);
        for (const Transition& t : transitions_) {
            if (t.symbol.terminal) {
                set_action(t.from, t.symbol.index, {Action::Kind::shift, t.to});
            } else {
                table_.go_to[t.from * table_.nonterminals.size() + t.symbol.index] =
                    static_cast<std::int32_t>(t.to);
            }
        }
        for (std::uint32_t s = 0; s < table_.states; ++s) {
            for (const Item& item : states_[s]) {
                if (item.dot != static_cast<int>(production(item.production).rhs.size())) {
                    continue;
                }
                if (item.production == augmented_production_) {
                    set_action(s, table_.end_marker(), {Action::Kind::accept, 0});
                    continue;
                }
                for (const int terminal : follow_[production(item.production).lhs]) {
                    set_action(s, terminal,
                               {Action::Kind::reduce, static_cast<std::uint32_t>(item.production)});
                }
            }
        }
    }

    struct Transition {
        std::uint32_t from;
        Symbol symbol;
        std::uint32_t to;
    };

    SlrTable table_;
    int augmented_start_ = 0;
    int augmented_production_ = 0;
    std::vector<std::set<int>> first_;
    std::vector<bool> nullable_;
    std::vector<std::set<int>> follow_;
    std::vector<ItemSet> states_;
    std::vector<Transition> transitions_;
};

}  // namespace

SlrTable build_slr_table(const Grammar& grammar) { return Construction(grammar).run(); }

}  // namespace zavlek
