// SPDX-License-Identifier: MIT
// How much of a text a label or a message box shows, decided once for both
// front ends: each front end only measures, in its own pixels and fonts.
#pragma once

#include <console/excerpt.h>

#include <functional>
#include <string>
#include <string_view>

namespace kavrelo::console {

// An area for text in pixels, and the distance from one line to the next.
struct TextArea {
    int width;
    int height;
    int line_height;
};

// Only what a label of this area can show of the text: every visible
// character is at least a pixel wide, so no more than a width's worth of them
// fits on each line, and a line cut off at the bottom still shows its top;
// what takes no room does not count (label_excerpt).
std::u16string label_text(std::u16string_view text, TextArea label);

// Limits that a message box's text cannot exceed in this area, and so a first
// guess that cannot be too short: whole lines only, each of no more than a
// width's worth of characters.
ExcerptLimits most_that_can_fit(TextArea area) noexcept;

// What a message box shows of the text: the excerpt within the limits, halved
// until the box with it fits (as the front end measures it) or down to a
// single unit. A text that fits is shown whole.
std::u16string message_text(std::u16string_view text, ExcerptLimits limits,
                            const std::function<bool(std::u16string_view shown)>& fits);

}  // namespace kavrelo::console
