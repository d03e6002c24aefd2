// SPDX-License-Identifier: MIT
#include "form.h"

#include <array>
#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

namespace kavrelo::console {
namespace {

constexpr Colour kNavy{0x00400000};
constexpr Colour kActiveTitleText{0x80000009};
constexpr Colour kInactiveTitleText{0x80000013};
constexpr Colour kLightGrey{0x00E0E0E0};
constexpr Colour kDarkPurple{0x00400040};
constexpr Font kResultFont{"Arial", 825, 700, 0};
// The classic 8-point dialog font the layout was drawn for, in the platform's
// own face and its default character set.
constexpr Font kDialogFont{"", 800, 400, 1};
// Frames put their caption 8 pixels in.
constexpr int kFrameCaptionIndent = 8 * kTwipsPerPixel;

using enum ControlKind;

// clang-format off
constexpr std::array<Control, 10> kForm1Controls = {{
    {"Command3", button,   u"Salir",                   "",       4680, 1560, 3135,  495, 2, kInactiveTitleText, {}, {}},
    {"Frame1",   frame,    u"Parser SLR",              "",        120,  120, 4335, 3255, 4, kActiveTitleText, kNavy, {}},
    {"Text1",    text_box, u"",                        "Frame1",  120,  600, 3735,  495, 7, {}, {}, {}},
    {"Command5", button,   u"Probar Parser SLR",       "Frame1",  480, 2520, 3375,  495, 5, kInactiveTitleText, {}, {}},
    {"Label3",   label,    u"",                        "Frame1",  240, 1800, 3855,  495, 9, kLightGrey, kDarkPurple, kResultFont},
    {"Label2",   label,    u"Resultado:",              "Frame1",  240, 1320, 3375,  375, 8, kActiveTitleText, kNavy, {}},
    {"Label1",   label,    u"Cadena que se envía a Parser:", "Frame1", 240, 360, 2535, 375, 6, kActiveTitleText, kNavy, {}},
    {"Command4", button,   u"tokeniza2 con argumento", "",       4680, 1080, 3135,  495, 3, kInactiveTitleText, {}, {}},
    {"Command2", button,   u"tokeniza sin argumento",  "",       4680,  600, 3135,  495, 1, kInactiveTitleText, {}, {}},
    {"Command1", button,   u"prueba de la pila",       "",       4680,  120, 3135,  495, 0, kInactiveTitleText, {}, {}},
}};
// clang-format on

constexpr std::array<LabelFor, 2> kForm1Labels = {{{"Label1", "Text1"}, {"Label2", "Label3"}}};

constexpr Form kForm1{"Form1",
                      u"Comandos para invocar funciones en DLL",
                      7935,
                      3645,
                      kNavy,
                      kDialogFont,
                      kFrameCaptionIndent,
                      kForm1Controls,
                      kForm1Labels,
                      "Text1",
                      "Label3"};

// The classic scheme's system colours, by index, for platforms without them.
constexpr std::array<Rgb, 31> kClassicSystemColours = {{
    {212, 208, 200}, {58, 110, 165},  {10, 36, 106},   {128, 128, 128}, {212, 208, 200}, {255, 255, 255},
    {0, 0, 0},       {0, 0, 0},       {0, 0, 0},       {255, 255, 255}, {212, 208, 200}, {212, 208, 200},
    {128, 128, 128}, {10, 36, 106},   {255, 255, 255}, {212, 208, 200}, {128, 128, 128}, {128, 128, 128},
    {0, 0, 0},       {212, 208, 200}, {255, 255, 255}, {64, 64, 64},    {212, 208, 200}, {0, 0, 0},
    {255, 255, 225}, {181, 181, 181}, {0, 0, 128},     {166, 202, 240}, {192, 192, 192}, {49, 106, 197},
    {236, 233, 216},
}};

}  // namespace

Rgb classic_rgb(Colour colour) noexcept {
    if (colour.is_system()) {
        const unsigned index = colour.system_index();
        return index < kClassicSystemColours.size() ? kClassicSystemColours[index] : Rgb{0, 0, 0};
    }
    return {static_cast<std::uint8_t>(colour.value & 0xFF),
            static_cast<std::uint8_t>((colour.value >> 8) & 0xFF),
            static_cast<std::uint8_t>((colour.value >> 16) & 0xFF)};
}

double contrast_ratio(Rgb first, Rgb second) noexcept {
    const auto channel = [](std::uint8_t value) {
        const double c = value / 255.0;
        return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    const auto luminance = [&](Rgb rgb) {
        return 0.2126 * channel(rgb.red) + 0.7152 * channel(rgb.green) + 0.0722 * channel(rgb.blue);
    };
    const double a = luminance(first);
    const double b = luminance(second);
    return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
}

const Form& form1() { return kForm1; }

void throw_unknown_control(std::string_view name) {
    throw std::logic_error("the form names an unknown control " + std::string(name));
}

const Control& control_named(const Form& form, std::string_view name) {
    const auto found = std::ranges::find(form.controls, name, &Control::name);
    if (found == form.controls.end()) {
        throw_unknown_control(name);
    }
    return *found;
}

bool takes_focus(ControlKind kind) noexcept { return kind == button || kind == text_box; }

std::vector<const Control*> focus_cycle(const Form& form) {
    std::vector<const Control*> cycle;
    for (const Control& control : form.controls) {
        if (takes_focus(control.kind)) {
            cycle.push_back(&control);
        }
    }
    std::ranges::stable_sort(cycle, {}, &Control::tab_index);
    return cycle;
}

}  // namespace kavrelo::console
