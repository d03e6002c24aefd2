// SPDX-License-Identifier: MIT
// Context-free grammars as the SLR construction reads them.
#pragma once

#include <string>
#include <vector>

namespace zavlek {

struct Symbol {
    bool terminal;
    int index;  // into Grammar::terminals or Grammar::nonterminals
    friend auto operator<=>(const Symbol&, const Symbol&) = default;
};

struct Production {
    int lhs;  // a nonterminal
    std::vector<Symbol> rhs;
};

struct Grammar {
    std::vector<std::string> terminals;
    std::vector<std::string> nonterminals;  // the first is the start symbol
    std::vector<Production> productions;
};

// Builds a grammar from rules written "E -> E + T | T", one per string, with
// symbols separated by spaces. A symbol is a nonterminal if some rule defines
// it; the first rule's left side is the start symbol. Throws
// std::invalid_argument for a malformed rule.
Grammar parse_grammar(const std::vector<std::string>& rules);

// The grammar the library's parser accepts.
const Grammar& expression_grammar();

}  // namespace zavlek
