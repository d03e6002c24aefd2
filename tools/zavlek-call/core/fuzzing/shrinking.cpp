// SPDX-License-Identifier: MIT
#include "core/fuzzing/shrinking.h"

#include <algorithm>
#include <cstddef>
#include <utility>

namespace kavrelo::zavlek_call {
namespace {

// An input cut where its pieces meet.
struct Pieces {
    std::string text;
    std::vector<std::size_t> starts;  // of each piece, then the end of the text
};

Pieces bytes_of(std::string text) {
    Pieces pieces{std::move(text), {}};
    for (std::size_t at = 0; at <= pieces.text.size(); ++at) pieces.starts.push_back(at);
    return pieces;
}

// The grammar's tokens: numbers, identifiers (letters beyond ASCII
// included), runs of spaces; any other byte is a token of its own.
Pieces tokens_of(std::string text) {
    enum class Kind { number, identifier, spaces, other };
    const auto kind_of = [](unsigned char byte) {
        if ((byte >= '0' && byte <= '9') || byte == '.') return Kind::number;
        if ((byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') || byte == '_' || byte >= 0x80)
            return Kind::identifier;
        return byte == ' ' ? Kind::spaces : Kind::other;
    };
    Pieces pieces{std::move(text), {}};
    for (std::size_t at = 0; at < pieces.text.size(); ++at) {
        const Kind kind = kind_of(static_cast<unsigned char>(pieces.text[at]));
        if (at == 0 || kind == Kind::other ||
            kind != kind_of(static_cast<unsigned char>(pieces.text[at - 1])))
            pieces.starts.push_back(at);
    }
    pieces.starts.push_back(pieces.text.size());
    return pieces;
}

// The input shrunk while a fresh child still shows the fault on it: runs of
// pieces of halving length taken out, each length's candidates in as few
// children as their bytes allow (delta debugging). An interrupt leaves it
// as far as it got.
Showing shrunk(FaultTrial& trial, Pieces input, std::string what) {
    constexpr std::size_t kBytesPerChild = std::size_t{64} << 20;
    std::size_t run = std::max<std::size_t>((input.starts.size() - 1) / 2, 1);
    while (!trial.stopped()) {
        const std::size_t count = input.starts.size() - 1;
        std::vector<std::string> candidates;
        std::vector<std::size_t> firsts;  // the first piece each takes out
        for (std::size_t first = 0; first < count; first += run) {
            std::string candidate = input.text.substr(0, input.starts[first]) +
                                    input.text.substr(input.starts[std::min(first + run, count)]);
            if (candidate.empty()) continue;
            candidates.push_back(std::move(candidate));
            firsts.push_back(first);
        }
        const std::size_t per_child = std::max<std::size_t>(kBytesPerChild / input.text.size(), 1);
        std::optional<std::size_t> smaller;
        for (std::size_t first = 0; first < candidates.size() && !smaller; first += per_child) {
            const std::vector<std::string> some(
                candidates.begin() + static_cast<std::ptrdiff_t>(first),
                candidates.begin() +
                    static_cast<std::ptrdiff_t>(std::min(first + per_child, candidates.size())));
            if (std::optional<Shown> shown = trial.first_showing(some)) {
                smaller = first + shown->index;
                what = std::move(shown->what);
            }
        }
        if (smaller) {
            const std::size_t first = firsts[*smaller];
            const std::size_t last = std::min(first + run, count);
            const std::size_t removed = input.starts[last] - input.starts[first];
            std::vector<std::size_t> starts(input.starts.begin(),
                                            input.starts.begin() + static_cast<std::ptrdiff_t>(first));
            for (std::size_t i = last; i <= count; ++i) starts.push_back(input.starts[i] - removed);
            input = {std::move(candidates[*smaller]), std::move(starts)};
            run = std::max<std::size_t>(std::min(run, (input.starts.size() - 1) / 2), 1);
        } else if (run == 1) {
            break;
        } else {
            run /= 2;
        }
    }
    return {std::move(input.text), std::move(what)};
}

}  // namespace

std::vector<std::string> alike_forms(const std::string& input) {
    std::string by_class = input;
    for (char& byte : by_class) {
        const auto value = static_cast<unsigned char>(byte);
        if (value >= '0' && value <= '9') byte = '0';
        if ((value >= 'a' && value <= 'z') || (value >= 'A' && value <= 'Z')) byte = 'a';
        if (value >= 0x80) byte = '\x80';
    }
    return {std::string(input.size(), 'a'), std::move(by_class)};
}

Showing minimised(FaultTrial& trial, Showing showing) {
    Showing by_bytes = shrunk(trial, bytes_of(std::move(showing.input)), std::move(showing.what));
    Showing small = shrunk(trial, tokens_of(std::move(by_bytes.input)), std::move(by_bytes.what));
    for (std::string& form : alike_forms(small.input)) {
        // After an interrupt no child more: each could take the whole limit.
        if (trial.stopped()) break;
        if (form == small.input) continue;
        if (std::optional<Shown> shown = trial.first_showing({form}))
            return {std::move(form), std::move(shown->what)};
    }
    return small;
}

}  // namespace kavrelo::zavlek_call
