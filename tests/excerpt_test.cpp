// SPDX-License-Identifier: MIT
#include <console/excerpt.h>

#include <gtest/gtest.h>

#include <string>

namespace kavrelo::console {
namespace {

constexpr std::size_t kLines = 2;
constexpr std::size_t kPerLine = 40;

TEST(LabelExcerpt, AShortAnswerWithControlsIsShownWhole) {
    const std::u16string answer = u"Error\x01 en\x81 la posici\u00F3n 4";
    EXPECT_EQ(label_excerpt(answer, kLines, kPerLine), answer);
}

// Controls take no room, so the room left does not limit them: a 16 MB answer
// of nothing else must still be cut to what a label can hold.
TEST(LabelExcerpt, AnAnswerOfControlsAloneIsCutToTheLabelsSize) {
    for (const char16_t control : {u'\x01', u'\x7F', u'\x81'}) {
        const std::u16string answer(16u << 20, control);
        EXPECT_LE(label_excerpt(answer, kLines, kPerLine).size(), 16 * kLines * kPerLine) << int(control);
    }
}

}  // namespace
}  // namespace kavrelo::console
