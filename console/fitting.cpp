// SPDX-License-Identifier: MIT
#include "fitting.h"

#include <algorithm>

namespace kavrelo::console {

std::u16string label_text(std::u16string_view text, TextArea label) {
    const auto lines = static_cast<std::size_t>(label.height / std::max(1, label.line_height) + 1);
    const auto per_line = static_cast<std::size_t>(label.width + 1);
    return label_excerpt(text, lines, per_line);
}

ExcerptLimits most_that_can_fit(TextArea area) noexcept {
    const auto lines = static_cast<std::size_t>(std::max(1, area.height / std::max(1, area.line_height)));
    return {lines, lines * static_cast<std::size_t>(std::max(1, area.width))};
}

std::u16string message_text(std::u16string_view text, ExcerptLimits limits,
                            const std::function<bool(std::u16string_view shown)>& fits) {
    for (;;) {
        std::u16string shown = message_excerpt(text, limits);
        if (fits(shown) || limits.units < 2) {
            return shown;
        }
        limits = {std::max<std::size_t>(1, limits.lines / 2), limits.units / 2};
    }
}

}  // namespace kavrelo::console
