// SPDX-License-Identifier: MIT
// The main window Form1 as data: every control once, with the values the
// front ends render. No layout number lives anywhere else.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace kavrelo::console {

enum class ControlKind { button, frame, text_box, label };

// 0x00BBGGRR for an explicit colour, 0x800000nn for system colour index nn.
struct Colour {
    std::uint32_t value;
    bool is_system() const noexcept { return (value & 0x80000000u) != 0; }
    unsigned system_index() const noexcept { return value & 0xFFu; }
};

struct Rgb {
    std::uint8_t red, green, blue;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

// An explicit colour as it is, a system colour from the classic defaults.
Rgb classic_rgb(Colour colour) noexcept;

// The contrast ratio of two colours, from 1 (the same) to 21 (black on
// white), by their relative luminance.
double contrast_ratio(Rgb first, Rgb second) noexcept;

// Below this, text on a background is hard to read; a platform whose system
// colour falls below it next to the form's text gets the classic value.
inline constexpr double kLeastReadableContrast = 3.0;

struct Font {
    std::string_view face;  // empty for the platform's own dialog face
    int hundredths_of_point;
    int weight;
    int charset;
    friend auto operator<=>(const Font&, const Font&) = default;
};

// Positions and sizes in twips, 15 to a pixel at 96 dots per inch.
inline constexpr int kTwipsPerPixel = 15;
constexpr int to_pixels(int twips) noexcept { return (twips + kTwipsPerPixel / 2) / kTwipsPerPixel; }

struct Control {
    std::string_view name;
    ControlKind kind;
    std::u16string_view caption;
    std::string_view parent;  // empty for the window itself
    int left, top, width, height;
    int tab_index;
    std::optional<Colour> background;  // platform default when empty
    std::optional<Colour> foreground;
    std::optional<Font> font;  // the form's when empty
};

// A label that names another control for screen readers: the text box is
// read by the label above it, the result label by the label over it.
struct LabelFor {
    std::string_view label;
    std::string_view control;
};

struct Form {
    std::string_view name;
    std::u16string_view title;
    int client_width, client_height;
    Colour background;
    Font font;
    int frame_caption_indent;           // from a frame's left edge to its caption
    std::span<const Control> controls;  // in creation order
    std::span<const LabelFor> labels;
    // The text box whose text the parser is given.
    std::string_view parser_input;
    // The label whose every new text screen readers announce as it comes,
    // wherever the focus is: the parser's answer.
    std::string_view announced;
};

const Form& form1();

// A name the form gives that is not one of its controls: a fault of the
// form, which the front ends meet as they build it, at start.
[[noreturn]] void throw_unknown_control(std::string_view name);

// The control of that name.
const Control& control_named(const Form& form, std::string_view name);

// A front end's own control of a name the form gives, from its controls by
// name.
template <typename NamedControls>
typename NamedControls::mapped_type named(const NamedControls& controls, std::string_view name) {
    const auto found = controls.find(name);
    if (found == controls.end()) {
        throw_unknown_control(name);
    }
    return found->second;
}

// Whether the keyboard focus stops at a control of this kind: buttons and
// text boxes do, labels and frames do not.
bool takes_focus(ControlKind kind) noexcept;

// The controls the keyboard focus visits, in tab order; the window opens
// with the focus on the first.
std::vector<const Control*> focus_cycle(const Form& form);

}  // namespace kavrelo::console
