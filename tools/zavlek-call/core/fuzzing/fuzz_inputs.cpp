// SPDX-License-Identifier: MIT
#include "core/fuzzing/fuzz_inputs.h"

#include <algorithm>
#include <string_view>
#include <utility>

namespace kavrelo::zavlek_call {
namespace {

constexpr std::string_view kOperators = "+-*/";
constexpr std::string_view kLetters = "abcxyz_ABCXYZ\xE9\xF1";

}  // namespace

FuzzInputs::FuzzInputs(std::uint64_t seed, std::size_t most_corpus_inputs)
    : random_(seed), most_corpus_inputs_(most_corpus_inputs) {}

void FuzzInputs::add_to_corpus(std::string input) {
    corpus_bytes_ += input.size();
    corpus_.push_back(std::move(input));
    while (corpus_.size() > most_corpus_inputs_ || corpus_bytes_ > kMostCorpusBytes) {
        const auto longest = std::max_element(
            corpus_.begin(), corpus_.end(),
            [](const std::string& one, const std::string& other) { return one.size() < other.size(); });
        corpus_bytes_ -= longest->size();
        std::swap(*longest, corpus_.back());
        corpus_.pop_back();
    }
}

std::size_t FuzzInputs::below(std::size_t bound) {
    return bound == 0 ? 0 : std::uniform_int_distribution<std::size_t>(0, bound - 1)(random_);
}

std::string FuzzInputs::operand(int depth) {
    const std::size_t choice = below(10);
    if (depth > 0 && choice < 3) return "(" + expression(depth - 1) + ")";
    std::string operand;
    if (choice < 6) {
        for (std::size_t digits = 1 + below(4); digits > 0; --digits)
            operand += static_cast<char>('0' + below(10));
        if (below(4) == 0) operand += "." + std::to_string(below(100));
    } else {
        for (std::size_t letters = 1 + below(6); letters > 0; --letters) {
            operand += kLetters[below(kLetters.size())];
        }
    }
    return operand;
}

std::string FuzzInputs::expression(int depth) {
    auto spaces = [this] { return std::string(below(4) == 0 ? 1 + below(3) : 0, ' '); };
    std::string expression = spaces() + operand(depth);
    for (std::size_t more = below(4); more > 0; --more) {
        expression += spaces() + kOperators[below(kOperators.size())] + spaces() + operand(depth);
    }
    return expression + spaces();
}

std::string FuzzInputs::generated() {
    const std::size_t kind = below(100);
    if (kind < 5) {
        const std::size_t depth = 1 + below(500);
        return std::string(depth, '(') + expression(0) + std::string(depth, ')');
    }
    if (kind < 7) {
        const std::string piece = expression(2) + kOperators[below(kOperators.size())];
        std::string long_input;
        const std::size_t length = below(kLongestFuzzInput);
        while (long_input.size() + piece.size() < length) long_input += piece;
        return long_input + operand(0);
    }
    return expression(static_cast<int>(below(6)));
}

std::string FuzzInputs::mutated(std::string input) {
    const std::size_t at = below(input.size());
    const std::size_t span = 1 + below(std::min<std::size_t>(input.size() - at, 16));
    switch (below(7)) {
        case 0:
            input[at] = static_cast<char>(input[at] ^ (1 << below(8)));
            break;
        case 1:
            input.insert(at, 1, static_cast<char>(1 + below(255)));
            break;
        case 2:
            input.erase(at, span);
            break;
        case 3:
            input.insert(at, input.substr(at, span));
            break;
        case 4:
            std::swap(input[at], input[below(input.size())]);
            break;
        case 5: {
            const std::string other = corpus_.empty() ? input : corpus_[below(corpus_.size())];
            input = input.substr(0, at) + other.substr(below(other.size()));
            break;
        }
        default: {
            const std::string piece = input.substr(at, span);
            std::string repeated;
            for (std::size_t times = below(10000);
                 times > 0 && input.size() + repeated.size() + piece.size() <= kLongestFuzzInput; --times) {
                repeated += piece;
            }
            input.insert(at, repeated);
        }
    }
    return input;
}

std::string FuzzInputs::next() {
    for (;;) {
        // Half of what the grammar makes is mutated too: only a mutation puts
        // side by side what the grammar never does (")(", say), and a library
        // that answers every text alike grows no corpus to mutate.
        const bool generating = corpus_.empty() || below(2) == 0;
        std::string input = generating ? generated() : corpus_[below(corpus_.size())];
        if (!generating || below(2) == 0) input = mutated(std::move(input));
        if (!input.empty() && input.size() <= kLongestFuzzInput) return input;
    }
}

}  // namespace kavrelo::zavlek_call
