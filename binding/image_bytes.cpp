// SPDX-License-Identifier: MIT
#include "image_bytes.h"

#include <algorithm>
#include <cstring>
#include <fstream>

namespace kavrelo::binding {

std::optional<std::uint64_t> ImageBytes::number(std::size_t offset, std::size_t width) const {
    if (width > sizeof(std::uint64_t) || !holds(offset, width)) return std::nullopt;
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < width; ++i) {
        const std::size_t significance = order_ == ByteOrder::little_endian ? i : width - 1 - i;
        value |= std::uint64_t{bytes_[offset + i]} << (8 * significance);
    }
    return value;
}

std::optional<std::string_view> ImageBytes::name(std::size_t offset, std::size_t max_length) const {
    if (offset >= bytes_.size()) return std::nullopt;
    const std::size_t limit = std::min(bytes_.size() - offset, max_length);
    const auto* first = bytes_.data() + offset;
    const auto* end = static_cast<const unsigned char*>(std::memchr(first, 0, limit));
    if (end == nullptr || end == first) return std::nullopt;
    return std::string_view(reinterpret_cast<const char*>(first), static_cast<std::size_t>(end - first));
}

ImageBytes ImageBytes::part(std::size_t offset, std::size_t length) const {
    if (offset >= bytes_.size()) return ImageBytes({}, order_);
    return ImageBytes(bytes_.subspan(offset, std::min(length, bytes_.size() - offset)), order_);
}

std::optional<FileStart> read_file_start(const std::filesystem::path& path, std::size_t max_bytes) {
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    std::ifstream in(path, std::ios::binary);
    if (error || !in) return std::nullopt;
    FileStart start;
    start.bytes.resize(static_cast<std::size_t>(std::min<std::uintmax_t>(size, max_bytes)));
    in.read(reinterpret_cast<char*>(start.bytes.data()), static_cast<std::streamsize>(start.bytes.size()));
    start.bytes.resize(static_cast<std::size_t>(in.gcount()));
    start.cut = size > max_bytes;
    return start;
}

}  // namespace kavrelo::binding
