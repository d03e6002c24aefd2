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

// The corpus is kept to this many inputs and bytes, for a run of hours to
// hold its memory flat: 16.384 inputs are many times the shapes of answer a
// parser of this grammar gives, and 64 MiB hold 64 inputs of the longest
// alongside them.
inline constexpr std::size_t kMostCorpusInputs = 16384;
inline constexpr std::size_t kMostCorpusBytes = std::size_t{64} << 20;

class FuzzInputs {
public:
    // The corpus kept to `most_corpus_inputs` inputs and kMostCorpusBytes.
    explicit FuzzInputs(std::uint64_t seed, std::size_t most_corpus_inputs = kMostCorpusInputs);

    // An input worth mutating: one that made the library answer in a new way.
    // When the corpus holds too many inputs or too many bytes with it, the
    // longest leave first: they cost the most to keep and to mutate, and a
    // short input that made a new answer is worth as much.
    void add_to_corpus(std::string input);
    std::size_t corpus_size() const { return corpus_.size(); }
    std::size_t corpus_bytes() const { return corpus_bytes_; }

    // Never empty, never longer than kLongestFuzzInput.
    std::string next();

private:
    std::size_t below(std::size_t bound);
    std::string generated();
    std::string expression(int depth);
    std::string operand(int depth);
    std::string mutated(std::string input);

    std::mt19937_64 random_;
    std::size_t most_corpus_inputs_;
    std::vector<std::string> corpus_;
    std::size_t corpus_bytes_ = 0;
};

}  // namespace kavrelo::zavlek_call
