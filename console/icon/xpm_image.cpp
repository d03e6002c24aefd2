// SPDX-License-Identifier: MIT
#include "xpm_image.h"

#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>

namespace kavrelo::icon {
namespace {

// The quoted strings of an XPM file, in order.
std::vector<std::string> quoted_strings(const std::string& path) {
    std::ifstream file(path);
    if (!file) throw std::runtime_error("cannot read " + path);
    std::stringstream whole;
    whole << file.rdbuf();
    const std::string text = whole.str();
    std::vector<std::string> strings;
    for (std::size_t open = text.find('"'); open != std::string::npos; open = text.find('"', open)) {
        const std::size_t close = text.find('"', open + 1);
        if (close == std::string::npos) throw std::runtime_error(path + ": unterminated string");
        strings.push_back(text.substr(open + 1, close - open - 1));
        open = close + 1;
    }
    return strings;
}

}  // namespace

Image read_xpm(const std::string& path) {
    const std::vector<std::string> strings = quoted_strings(path);
    Image image;
    int colour_count = 0;
    int chars_per_pixel = 0;
    if (strings.empty() ||
        std::sscanf(strings[0].c_str(), "%d %d %d %d", &image.width, &image.height, &colour_count,
                    &chars_per_pixel) != 4 ||
        chars_per_pixel != 1 || strings.size() != 1u + colour_count + image.height) {
        throw std::runtime_error(path + ": not an XPM of one character per pixel");
    }
    std::map<char, std::uint32_t> colour_of;
    for (int i = 1; i <= colour_count; ++i) {
        unsigned value = 0;
        if (std::sscanf(strings[i].c_str() + 1, " c #%6x", &value) != 1) {
            throw std::runtime_error(path + ": colours must be given as c #RRGGBB");
        }
        colour_of[strings[i][0]] = value;
    }
    image.colours = colour_of.size();
    for (int row = 0; row < image.height; ++row) {
        const std::string& line = strings[1 + colour_count + row];
        if (static_cast<int>(line.size()) != image.width) throw std::runtime_error(path + ": ragged row");
        for (const char c : line) image.pixels.push_back(colour_of.at(c));
    }
    return image;
}

}  // namespace kavrelo::icon
