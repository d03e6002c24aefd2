// SPDX-License-Identifier: MIT
#include "core/nearest_name.h"

#include <algorithm>
#include <cstddef>

namespace kavrelo::zavlek_call {
namespace {

char lower(char letter) {
    return letter >= 'A' && letter <= 'Z' ? static_cast<char>(letter - 'A' + 'a') : letter;
}

// Slips from one to the other: letters left out, added or changed, and two
// neighbours swapped (optimal string alignment).
std::size_t slips(std::string_view from, std::string_view to) {
    const std::size_t width = to.size() + 1;
    std::vector<std::size_t> table((from.size() + 1) * width);
    const auto at = [&](std::size_t i, std::size_t j) -> std::size_t& { return table[i * width + j]; };
    for (std::size_t i = 0; i <= from.size(); ++i) at(i, 0) = i;
    for (std::size_t j = 0; j <= to.size(); ++j) at(0, j) = j;
    for (std::size_t i = 1; i <= from.size(); ++i) {
        for (std::size_t j = 1; j <= to.size(); ++j) {
            const std::size_t changed = lower(from[i - 1]) == lower(to[j - 1]) ? 0 : 1;
            at(i, j) = std::min({at(i - 1, j) + 1, at(i, j - 1) + 1, at(i - 1, j - 1) + changed});
            if (i > 1 && j > 1 && lower(from[i - 1]) == lower(to[j - 2]) &&
                lower(from[i - 2]) == lower(to[j - 1])) {
                at(i, j) = std::min(at(i, j), at(i - 2, j - 2) + 1);
            }
        }
    }
    return at(from.size(), to.size());
}

}  // namespace

std::optional<std::string_view> nearest_name(std::string_view word,
                                             const std::vector<std::string_view>& names) {
    std::optional<std::string_view> nearest;
    std::size_t fewest = std::max<std::size_t>(word.size() / 3, 1) + 1;
    bool tied = false;
    for (const std::string_view name : names) {
        if (name == word) return std::nullopt;
        const std::size_t count = slips(word, name);
        if (count < fewest) {
            nearest = name;
            fewest = count;
            tied = false;
        } else if (count == fewest && nearest) {
            tied = true;
        }
    }
    if (tied) return std::nullopt;
    return nearest;
}

}  // namespace kavrelo::zavlek_call
