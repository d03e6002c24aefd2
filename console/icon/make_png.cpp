// SPDX-License-Identifier: MIT
// Builds an icon of the Debian package from one of the program's pixel-art
// images: each pixel becomes a square of FACTOR x FACTOR pixels of its
// colour, so nothing is blurred. The PNG holds the drawing's own colours as
// its palette, and its data stored, not compressed: the package is
// compressed as a whole, and the file is the same whatever the compressor.
//
// Usage: make_png IMAGE.xpm FACTOR OUTPUT.png
#include "xpm_image.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace {

using kavrelo::icon::Image;
using kavrelo::icon::read_xpm;
using Bytes = std::vector<std::uint8_t>;

void append_u32(Bytes& out, std::uint32_t value) {  // big-endian, as PNG and zlib write numbers
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<std::uint8_t>(value >> shift));
    }
}

std::uint32_t crc32(const Bytes& bytes, std::size_t from) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = from; i < bytes.size(); ++i) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
    }
    return ~crc;
}

std::uint32_t adler32(const Bytes& bytes) {
    std::uint32_t low = 1;
    std::uint32_t high = 0;
    for (const std::uint8_t byte : bytes) {
        low = (low + byte) % 65521;
        high = (high + low) % 65521;
    }
    return (high << 16) | low;
}

// A zlib stream of stored blocks, each at most 65,535 bytes.
Bytes zlib_stored(const Bytes& data) {
    Bytes out{0x78, 0x01};
    std::size_t at = 0;
    do {
        const std::size_t length = std::min<std::size_t>(data.size() - at, 0xFFFF);
        out.push_back(at + length == data.size() ? 1 : 0);  // the last block says so
        out.push_back(static_cast<std::uint8_t>(length)),
            out.push_back(static_cast<std::uint8_t>(length >> 8));
        out.push_back(static_cast<std::uint8_t>(~length)),
            out.push_back(static_cast<std::uint8_t>(~length >> 8));
        out.insert(out.end(), data.begin() + static_cast<std::ptrdiff_t>(at),
                   data.begin() + static_cast<std::ptrdiff_t>(at + length));
        at += length;
    } while (at < data.size());
    append_u32(out, adler32(data));
    return out;
}

void append_chunk(Bytes& png, std::string_view type, const Bytes& data) {
    append_u32(png, static_cast<std::uint32_t>(data.size()));
    const std::size_t start = png.size();
    png.insert(png.end(), type.begin(), type.end());
    png.insert(png.end(), data.begin(), data.end());
    append_u32(png, crc32(png, start));
}

// The image's colours in the order they first appear, and its rows scaled,
// each a row of palette indices after a byte that says it is unfiltered.
struct Indexed {
    std::vector<std::uint32_t> palette;
    Bytes rows;
};

Indexed indexed_and_scaled(const Image& image, int factor) {
    Indexed indexed;
    for (int y = 0; y < image.height * factor; ++y) {
        indexed.rows.push_back(0);
        for (int x = 0; x < image.width * factor; ++x) {
            const std::uint32_t colour =
                image.pixels[static_cast<std::size_t>((y / factor) * image.width + x / factor)];
            auto found = std::ranges::find(indexed.palette, colour);
            if (found == indexed.palette.end()) {
                found = indexed.palette.insert(found, colour);
            }
            indexed.rows.push_back(static_cast<std::uint8_t>(found - indexed.palette.begin()));
        }
    }
    return indexed;
}

Bytes png_of(const Image& image, int factor) {
    const Indexed indexed = indexed_and_scaled(image, factor);
    Bytes png{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    Bytes header;
    append_u32(header, static_cast<std::uint32_t>(image.width * factor));
    append_u32(header, static_cast<std::uint32_t>(image.height * factor));
    header.insert(header.end(), {8, 3, 0, 0, 0});  // 8 bits, a palette, deflate, no filter, no interlace
    append_chunk(png, "IHDR", header);
    Bytes palette;
    for (const std::uint32_t colour : indexed.palette) {
        palette.insert(palette.end(),
                       {static_cast<std::uint8_t>(colour >> 16), static_cast<std::uint8_t>(colour >> 8),
                        static_cast<std::uint8_t>(colour)});
    }
    append_chunk(png, "PLTE", palette);
    append_chunk(png, "IDAT", zlib_stored(indexed.rows));
    append_chunk(png, "IEND", {});
    return png;
}

}  // namespace

int main(int argc, char** argv) {
    const int factor = argc == 4 ? std::atoi(argv[2]) : 0;
    if (factor < 1 || factor > 64) {
        std::fprintf(stderr, "usage: make_png IMAGE.xpm FACTOR OUTPUT.png (FACTOR from 1 to 64)\n");
        return 2;
    }
    try {
        const Image image = read_xpm(argv[1]);
        if (image.colours > 256) {
            throw std::runtime_error(std::string(argv[1]) + ": more colours than a palette holds");
        }
        const Bytes png = png_of(image, factor);
        std::ofstream file(argv[3], std::ios::binary);
        file.write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
        return file ? 0 : 1;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "make_png: %s\n", error.what());
        return 1;
    }
}
