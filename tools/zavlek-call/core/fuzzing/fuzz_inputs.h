// SPDX-License-Identifier: MIT
// The inputs a fuzz run sends, as 8-bit text: expressions of the reference
// library's grammar (numbers, identifiers, the four operators, parentheses,
// spaces; now and then deeply nested or long), half of them mutated, and
// mutations of the corpus
// (bytes flipped, inserted, deleted; pieces duplicated, swapped, spliced
// from another input, repeated). The same seed gives the same inputs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace kavrelo::zavlek_call {

// The longest input sent.
inline constexpr std::size_t kLongestFuzzInput = std::size_t{1} << 20;

class FuzzInputs {
public:
    explicit FuzzInputs(std::uint64_t seed);

    // An input worth mutating: one that made the library answer in a new way.
    void add_to_corpus(std::string input);
    std::size_t corpus_size() const { return corpus_.size(); }

    // Never empty, never longer than kLongestFuzzInput.
    std::string next();

private:
    std::size_t below(std::size_t bound);
    std::string generated();
    std::string expression(int depth);
    std::string operand(int depth);
    std::string mutated(std::string input);

    std::mt19937_64 random_;
    std::vector<std::string> corpus_;
};

}  // namespace kavrelo::zavlek_call
