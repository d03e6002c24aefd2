#include "excerpt.h"

namespace kavrelo::console {
namespace {

// Spanish digit grouping: 16777216 -> "16.777.216".
std::u16string grouped(std::size_t number) {
    std::u16string digits;
    int in_group = 0;
    do {
        if (in_group == 3) {
            digits.insert(digits.begin(), u'.');
            in_group = 0;
        }
        digits.insert(digits.begin(), static_cast<char16_t>(u'0' + number % 10));
        number /= 10;
        ++in_group;
    } while (number != 0);
    return digits;
}

}  // namespace

std::u16string_view leading_characters(std::u16string_view text, std::size_t max_units) noexcept {
    if (text.size() <= max_units) {
        return text;
    }
    std::size_t end = max_units;
    if (end > 0 && text[end - 1] >= 0xD800 && text[end - 1] <= 0xDBFF) {
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
        if (!takes_no_width(unit) &&
            !(unit >= 0xDC00 && unit <= 0xDFFF && i > 0 && text[i - 1] >= 0xD800 && text[i - 1] <= 0xDBFF)) {
            if (++cost > budget) {
                break;
            }
        }
        shown += unit;
    }
    if (!shown.empty() && shown.back() >= 0xD800 && shown.back() <= 0xDBFF) {
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
    excerpt += u"\n\u2026\n(texto cortado: se muestran ";
    excerpt += grouped(shown.size());
    excerpt += u" de ";
    excerpt += grouped(text.size());
    excerpt += u" caracteres)";
    return excerpt;
}

}  // namespace kavrelo::console
