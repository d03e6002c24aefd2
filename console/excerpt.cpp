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
