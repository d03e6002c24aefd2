// SPDX-License-Identifier: MIT
// The bytes of a library file, read as a hostile file's: the one way the
// readers of library files (pe_image, elf_image) take a number or a name
// from them, checked against the end of the bytes every time, so that no
// offset or count the file gives can lead a read outside it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace kavrelo::binding {

class ImageBytes {
public:
    enum class ByteOrder { little_endian, big_endian };

    explicit ImageBytes(std::span<const unsigned char> bytes, ByteOrder order = ByteOrder::little_endian)
        : bytes_(bytes), order_(order) {}

    std::size_t size() const { return bytes_.size(); }
    bool holds(std::size_t offset, std::size_t length) const {
        return offset <= bytes_.size() && length <= bytes_.size() - offset;
    }

    // The unsigned number of `width` bytes (at most 8) at offset, in the
    // file's byte order; nothing unless all its bytes are there.
    std::optional<std::uint64_t> number(std::size_t offset, std::size_t width) const;

    template <class Unsigned>
    std::optional<Unsigned> read(std::size_t offset) const {
        const auto value = number(offset, sizeof(Unsigned));
        return value ? std::optional(static_cast<Unsigned>(*value)) : std::nullopt;
    }

    // The NUL-terminated name at offset, when it is not empty and its NUL
    // lies within these bytes and within max_length of its start.
    std::optional<std::string_view> name(std::size_t offset, std::size_t max_length) const;

    // The bytes from offset on, no more than length of them: fewer where
    // the file ends first, none when offset is past its end.
    ImageBytes part(std::size_t offset, std::size_t length) const;

private:
    std::span<const unsigned char> bytes_;
    ByteOrder order_;
};

// The first max_bytes of a file, and whether there was more.
struct FileStart {
    std::vector<unsigned char> bytes;
    bool cut = false;
};

// Nothing when the file cannot be read.
std::optional<FileStart> read_file_start(const std::filesystem::path& path, std::size_t max_bytes);

}  // namespace kavrelo::binding
