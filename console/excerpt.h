// SPDX-License-Identifier: MIT
// Cutting very long answers down to what a label or a message box can show,
// so that showing them never means laying out megabytes of text.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kavrelo::console {

// The first max_units code units of text, one fewer rather than half a
// surrogate pair.
std::u16string_view leading_characters(std::u16string_view text, std::size_t max_units) noexcept;

// What a label of `lines` lines, each at most `per_line` characters of at
// least a pixel wide, shows of the text, and no more: laying out a whole 10 MB
// answer would cost far more than it shows. It looks exactly as the whole text
// would. Characters that take no width (controls) cost nothing, and no more
// of them are kept than many times the characters the label has room for. A run of
// spaces or tabs longer than a line must cross a line break, where the rest of
// it hangs unseen: it keeps only a line's worth. The text ends at the line
// break after the last line that can show.
std::u16string label_excerpt(std::u16string_view text, std::size_t lines, std::size_t per_line);

struct ExcerptLimits {
    std::size_t lines;
    std::size_t units;
};

// The text unchanged when it is within both limits; otherwise its beginning,
// within them, followed on a line of its own by a note of how much is shown.
std::u16string message_excerpt(std::u16string_view text, ExcerptLimits limits);

}  // namespace kavrelo::console
