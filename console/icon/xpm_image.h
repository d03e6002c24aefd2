// SPDX-License-Identifier: MIT
// The icon's images as drawn: XPM files of one character per pixel, each
// colour given as c #RRGGBB. Read by the build's icon tools.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kavrelo::icon {

struct Image {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;  // 0xRRGGBB, top row first
    std::size_t colours = 0;
};

// Throws std::runtime_error for a file it cannot read or a drawing of another
// form.
Image read_xpm(const std::string& path);

}  // namespace kavrelo::icon
