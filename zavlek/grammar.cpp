// SPDX-License-Identifier: MIT
#include "grammar.h"

#include <algorithm>
#include <sstream>
#include <stdexcept>

namespace zavlek {
namespace {

int index_of(std::vector<std::string>& names, const std::string& name) {
    const auto found = std::find(names.begin(), names.end(), name);
    if (found != names.end()) {
        return static_cast<int>(found - names.begin());
    }
    names.push_back(name);
    return static_cast<int>(names.size() - 1);
}

std::vector<std::string> words_of(const std::string& text) {
    std::istringstream stream(text);
    std::vector<std::string> words;
    for (std::string word; stream >> word;) {
        words.push_back(word);
    }
    return words;
}

}  // namespace

Grammar parse_grammar(const std::vector<std::string>& rules) {
    Grammar grammar;
    std::vector<std::vector<std::string>> parsed;
    for (const std::string& rule : rules) {
        std::vector<std::string> words = words_of(rule);
        if (words.size() < 2 || words[1] != "->") {
            throw std::invalid_argument("malformed rule: " + rule);
        }
        index_of(grammar.nonterminals, words[0]);
        parsed.push_back(std::move(words));
    }
    for (const auto& words : parsed) {
        const int lhs = index_of(grammar.nonterminals, words[0]);
        Production production{lhs, {}};
        for (std::size_t i = 2; i <= words.size(); ++i) {
            if (i == words.size() || words[i] == "|") {
                grammar.productions.push_back(production);
                production.rhs.clear();
                continue;
            }
            const auto& name = words[i];
            const bool is_nonterminal = std::find(grammar.nonterminals.begin(), grammar.nonterminals.end(),
                                                  name) != grammar.nonterminals.end();
            production.rhs.push_back(is_nonterminal ? Symbol{false, index_of(grammar.nonterminals, name)}
                                                    : Symbol{true, index_of(grammar.terminals, name)});
        }
    }
    return grammar;
}

const Grammar& expression_grammar() {
    static const Grammar grammar = parse_grammar({
        "E -> E + T | E - T | T",
        "T -> T * F | T / F | F",
        "F -> ( E ) | num | id",
    });
    return grammar;
}

}  // namespace zavlek
