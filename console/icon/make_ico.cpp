// SPDX-License-Identifier: MIT
// Builds the program's icon file from its images, drawn as XPM: one .ico with
// every image in it, in the order given. An image of at most two colours is
// stored at one bit per pixel over black and white, any other at four bits
// over the sixteen standard colours, which are all an image may use.
//
// Usage: make_ico OUTPUT.ico IMAGE.xpm...
#include "xpm_image.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using kavrelo::icon::Image;
using kavrelo::icon::read_xpm;

constexpr std::array<std::uint32_t, 2> kMonochrome = {0x000000, 0xFFFFFF};
constexpr std::array<std::uint32_t, 16> kSixteen = {
    0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
    0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF,
};

template <std::size_t N>
std::uint8_t palette_index(const std::array<std::uint32_t, N>& palette, std::uint32_t colour) {
    for (std::size_t i = 0; i < N; ++i) {
        if (palette[i] == colour) return static_cast<std::uint8_t>(i);
    }
    throw std::runtime_error("a colour outside the standard palette");
}

class Writer {
public:
    void u8(std::uint8_t v) { bytes.push_back(v); }
    void u16(std::uint16_t v) { u8(static_cast<std::uint8_t>(v)), u8(static_cast<std::uint8_t>(v >> 8)); }
    void u32(std::uint32_t v) {
        u16(static_cast<std::uint16_t>(v)), u16(static_cast<std::uint16_t>(v >> 16));
    }
    std::vector<std::uint8_t> bytes;
};

// The image as a device-independent bitmap: header, palette, colour rows and
// the all-opaque mask, both bottom row first, rows padded to four bytes.
std::vector<std::uint8_t> bitmap_of(const Image& image, int bits) {
    const std::vector<std::uint32_t> palette =
        bits == 1 ? std::vector<std::uint32_t>(kMonochrome.begin(), kMonochrome.end())
                  : std::vector<std::uint32_t>(kSixteen.begin(), kSixteen.end());
    const int colour_row = ((image.width * bits + 31) / 32) * 4;
    const int mask_row = ((image.width + 31) / 32) * 4;
    Writer out;
    out.u32(40);
    out.u32(static_cast<std::uint32_t>(image.width));
    out.u32(static_cast<std::uint32_t>(image.height * 2));  // colour rows and mask rows
    out.u16(1);
    out.u16(static_cast<std::uint16_t>(bits));
    out.u32(0);
    out.u32(static_cast<std::uint32_t>((colour_row + mask_row) * image.height));
    out.u32(0), out.u32(0), out.u32(0), out.u32(0);
    for (const std::uint32_t colour : palette) {
        out.u8(colour & 0xFF), out.u8((colour >> 8) & 0xFF), out.u8((colour >> 16) & 0xFF), out.u8(0);
    }
    for (int row = image.height - 1; row >= 0; --row) {
        std::vector<std::uint8_t> packed(static_cast<std::size_t>(colour_row), 0);
        for (int x = 0; x < image.width; ++x) {
            const std::uint32_t colour = image.pixels[static_cast<std::size_t>(row * image.width + x)];
            const std::uint8_t index =
                bits == 1 ? palette_index(kMonochrome, colour) : palette_index(kSixteen, colour);
            const int bit = x * bits;
            packed[static_cast<std::size_t>(bit / 8)] |=
                static_cast<std::uint8_t>(index << (8 - bits - bit % 8));
        }
        out.bytes.insert(out.bytes.end(), packed.begin(), packed.end());
    }
    out.bytes.resize(out.bytes.size() + static_cast<std::size_t>(mask_row * image.height), 0);
    return out.bytes;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: make_ico OUTPUT.ico IMAGE.xpm...\n");
        return 2;
    }
    try {
        std::vector<std::pair<Image, std::vector<std::uint8_t>>> images;
        for (int i = 2; i < argc; ++i) {
            Image image = read_xpm(argv[i]);
            const int bits = image.colours <= 2 ? 1 : 4;
            std::vector<std::uint8_t> bitmap = bitmap_of(image, bits);
            images.emplace_back(std::move(image), std::move(bitmap));
        }
        Writer out;
        out.u16(0), out.u16(1), out.u16(static_cast<std::uint16_t>(images.size()));
        std::uint32_t offset = static_cast<std::uint32_t>(6 + 16 * images.size());
        for (const auto& [image, bitmap] : images) {
            const int bits = image.colours <= 2 ? 1 : 4;
            out.u8(static_cast<std::uint8_t>(image.width)), out.u8(static_cast<std::uint8_t>(image.height));
            out.u8(static_cast<std::uint8_t>(1 << bits)), out.u8(0);
            out.u16(1), out.u16(static_cast<std::uint16_t>(bits));
            out.u32(static_cast<std::uint32_t>(bitmap.size())), out.u32(offset);
            offset += static_cast<std::uint32_t>(bitmap.size());
        }
        for (const auto& entry : images)
            out.bytes.insert(out.bytes.end(), entry.second.begin(), entry.second.end());
        std::ofstream file(argv[1], std::ios::binary);
        file.write(reinterpret_cast<const char*>(out.bytes.data()),
                   static_cast<std::streamsize>(out.bytes.size()));
        return file ? 0 : 1;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "make_ico: %s\n", error.what());
        return 1;
    }
}
