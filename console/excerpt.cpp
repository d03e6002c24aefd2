// SPDX-License-Identifier: MIT
#include "excerpt.h"

#include <text/numbers.h>
#include <text/utf16.h>
#include <text/utf8.h>

namespace kavrelo::console {
namespace {

// How many characters that take no width are kept for each character the
// label has room for.
constexpr std::size_t kWidthlessPerRoom = 16;

std::u16string grouped(std::size_t number) { return text::from_utf8(text::grouped_digits(number)); }

}  // namespace

std::u16string_view leading_characters(std::u16string_view text, std::size_t max_units) noexcept {
    if (text.size() <= max_units) {
        return text;
    }
    std::size_t end = max_units;
    if (end > 0 && text::is_high_surrogate(text[end - 1])) {
        --end;
    }
    return text.substr(0, end);
}

std::u16string label_excerpt(std::u16string_view text, std::size_t lines, std::size_t per_line) {
    const auto takes_no_width = [](char16_t unit) {
        return (unit < 0x20 && unit != u'\t' && unit != u'\n') || (unit >= 0x7F && unit < 0xA0);
    };
    const std::size_t budget = lines * per_line;
    std::u16string shown;
    std::size_t cost = 0;
    std::size_t widthless = 0;
    std::size_t breaks = 0;
    std::size_t blank_run = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        if (unit == u'\n') {
            if (++breaks >= lines) {
                break;
            }
            blank_run = 0;
            shown += unit;
            continue;
        }
        if (unit == u' ' || unit == u'\t') {
            if (++blank_run > per_line + 1) {
                continue;  // hangs at a line break, unseen
            }
        } else {
            blank_run = 0;
        }
        if (takes_no_width(unit)) {
            // Kept though they take no room, up to a bound: an answer of
            // nothing else would otherwise reach the label whole. The bound is
            // many times the label's room, since a system may lay a long run
            // of them out as part of the word around it; leaving out the rest
            // of such a run changes nothing the label shows.
            if (++widthless > kWidthlessPerRoom * budget) {
                continue;
            }
        } else if (!text::ends_pair_at(text, i) && ++cost > budget) {
            break;
        }
        shown += unit;
    }
    if (!shown.empty() && text::is_high_surrogate(shown.back())) {
        shown.pop_back();  // never half a pair
    }
    return shown;
}

std::u16string message_excerpt(std::u16string_view text, ExcerptLimits limits) {
    std::u16string_view shown = leading_characters(text, limits.units);
    std::size_t lines = 1;
    for (std::size_t i = 0; i < shown.size(); ++i) {
        if (shown[i] == u'\n' && ++lines > limits.lines) {
            shown = shown.substr(0, i);
            break;
        }
    }
    if (shown.size() == text.size()) {
        return std::u16string(text);
    }
    std::u16string excerpt(shown);
    excerpt += u"\n…\n(texto cortado: se muestran ";
    excerpt += grouped(shown.size());
    excerpt += u" de ";
    excerpt += grouped(text.size());
    excerpt += u" caracteres)";
    return excerpt;
}

}  // namespace kavrelo::console
