// SPDX-License-Identifier: MIT
#include <console/form.h>

#include <gtest/gtest.h>

#include <array>
#include <stdexcept>
#include <string_view>
#include <vector>

namespace kavrelo::console {
namespace {

TEST(FocusCycle, VisitsButtonsAndTextBoxesByTabIndexWhateverTheirRow) {
    using enum ControlKind;
    const std::array<Control, 5> controls = {{
        {"Label1", label, u"", "", 0, 0, 1, 1, 0, {}, {}, {}},
        {"Frame1", frame, u"", "", 0, 0, 1, 1, 1, {}, {}, {}},
        {"Command2", button, u"", "", 0, 0, 1, 1, 4, {}, {}, {}},
        {"Text1", text_box, u"", "Frame1", 0, 0, 1, 1, 2, {}, {}, {}},
        {"Command1", button, u"", "", 0, 0, 1, 1, 3, {}, {}, {}},
    }};
    const Form form{"Form9", u"", 1, 1, Colour{0}, {}, 0, controls, {}, {}, {}};
    std::vector<std::string_view> visited;
    for (const Control* control : focus_cycle(form)) {
        visited.push_back(control->name);
    }
    EXPECT_EQ(visited, (std::vector<std::string_view>{"Text1", "Command1", "Command2"}));
}

// The front ends look these names up as they build the window; a name that
// is not a control would stop the program at start.
TEST(Form1, EveryNameItGivesIsOneOfItsControls) {
    const Form& form = form1();
    for (const LabelFor& pair : form.labels) {
        EXPECT_EQ(control_named(form, pair.label).kind, ControlKind::label) << pair.label;
        EXPECT_NO_THROW(control_named(form, pair.control)) << pair.control;
    }
    for (const Control& control : form.controls) {
        if (!control.parent.empty()) {
            EXPECT_EQ(control_named(form, control.parent).kind, ControlKind::frame) << control.parent;
        }
    }
    EXPECT_EQ(control_named(form, form.parser_input).kind, ControlKind::text_box);
    EXPECT_EQ(control_named(form, form.announced).kind, ControlKind::label);
    EXPECT_THROW(control_named(form, "Label9"), std::logic_error);
}

}  // namespace
}  // namespace kavrelo::console
