// SPDX-License-Identifier: MIT
// How much of a long text is shown, given the front end's measure.
#include <console/fitting.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>

namespace kavrelo::console {
namespace {

std::size_t lines_of(std::u16string_view text) {
    return static_cast<std::size_t>(std::ranges::count(text, u'\n')) + 1;
}

// An excerpt without its closing note of how much it shows.
std::u16string_view without_note(std::u16string_view shown) {
    return shown.substr(0, shown.find(u"\n\u2026\n"));
}

std::u16string lines(int count) {
    std::u16string text;
    for (int i = 0; i < count; ++i) {
        text += u"linea\n";
    }
    return text;
}

TEST(LabelText, ALineTheLabelCutsOffAtTheBottomStillShows) {
    EXPECT_EQ(label_text(u"uno\ndos\ntres\ncuatro", {100, 25, 10}), u"uno\ndos\ntres");
}

TEST(MessageText, ATextThatFitsIsShownWhole) {
    const std::u16string text = lines(50);
    EXPECT_EQ(message_text(text, {100, 1000}, [](std::u16string_view) { return true; }), text);
}

TEST(MessageText, IsCutUntilTheBoxFitsButNotToLessThanHalfOfWhatFits) {
    const std::u16string long_line(100000, u'x');
    const std::u16string shown = message_text(long_line, {10, 64000}, [](std::u16string_view excerpt) {
        return without_note(excerpt).size() <= 5000;
    });
    EXPECT_LE(without_note(shown).size(), 5000u);
    EXPECT_GT(without_note(shown).size(), 2500u);
    EXPECT_NE(shown.find(u"texto cortado"), std::u16string::npos);

    const std::u16string many_lines = lines(1000);
    const std::u16string shown_lines =
        message_text(many_lines, {400, 100000},
                     [](std::u16string_view excerpt) { return lines_of(without_note(excerpt)) <= 30; });
    EXPECT_LE(lines_of(without_note(shown_lines)), 30u);
    EXPECT_GT(lines_of(without_note(shown_lines)), 15u);
}

TEST(MessageText, ABoxThatNeverFitsGetsAsLittleAsCanBeShown) {
    const std::u16string shown =
        message_text(std::u16string(100000, u'x'), {100, 100000}, [](std::u16string_view) { return false; });
    EXPECT_LE(without_note(shown).size(), 1u);
}

}  // namespace
}  // namespace kavrelo::console
