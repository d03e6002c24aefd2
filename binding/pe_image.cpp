// SPDX-License-Identifier: MIT
#include "pe_image.h"

#include <algorithm>
#include <cstring>
#include <fstream>

namespace kavrelo::binding {
namespace {

// Limits that no real library comes near, so that a hostile count cannot
// make the reader loop for long or keep much.
constexpr std::size_t kMaxNames = 1u << 16;
constexpr std::size_t kMaxNameLength = 1024;
constexpr std::size_t kMaxSections = 96;  // the format's own limit
constexpr std::size_t kMaxImports = 4096;

class Bytes {
public:
    explicit Bytes(std::span<const unsigned char> file) : file_(file) {}

    std::size_t size() const { return file_.size(); }

    bool holds(std::size_t offset, std::size_t length) const {
        return offset <= file_.size() && length <= file_.size() - offset;
    }
    std::optional<std::uint16_t> u16(std::size_t offset) const {
        if (!holds(offset, 2)) return std::nullopt;
        return static_cast<std::uint16_t>(file_[offset] | file_[offset + 1] << 8);
    }
    std::optional<std::uint32_t> u32(std::size_t offset) const {
        if (!holds(offset, 4)) return std::nullopt;
        return static_cast<std::uint32_t>(file_[offset]) |
               static_cast<std::uint32_t>(file_[offset + 1]) << 8 |
               static_cast<std::uint32_t>(file_[offset + 2]) << 16 |
               static_cast<std::uint32_t>(file_[offset + 3]) << 24;
    }
    // A NUL-terminated name that ends inside the file and within the limit.
    std::optional<std::string> name(std::size_t offset) const {
        if (offset >= file_.size()) return std::nullopt;
        const std::size_t limit = std::min(file_.size() - offset, kMaxNameLength);
        const auto* first = file_.data() + offset;
        const auto* end = static_cast<const unsigned char*>(std::memchr(first, 0, limit));
        if (end == nullptr || end == first) return std::nullopt;
        return std::string(reinterpret_cast<const char*>(first), static_cast<std::size_t>(end - first));
    }

private:
    std::span<const unsigned char> file_;
};

struct Section {
    std::uint32_t address = 0;  // VirtualAddress
    std::uint32_t mapped = 0;   // VirtualSize, or the raw size when larger
    std::uint32_t raw_size = 0;
    std::uint32_t raw_offset = 0;
};

class Image {
public:
    Image(const Bytes& bytes, std::vector<Section> sections, std::uint32_t header_size)
        : bytes_(bytes), sections_(std::move(sections)), header_size_(header_size) {}

    // Where a relative virtual address lies in the file; nothing when it lies
    // in no section's raw data, or outside the file.
    std::optional<std::size_t> offset_of(std::uint32_t rva) const {
        for (const Section& section : sections_) {
            if (rva < section.address) continue;
            const std::uint32_t into = rva - section.address;
            if (into >= section.mapped || into >= section.raw_size) continue;
            const std::size_t offset = std::size_t{section.raw_offset} + into;
            return offset < bytes_.size() ? std::optional(offset) : std::nullopt;
        }
        if (rva < header_size_ && rva < bytes_.size()) return rva;
        return std::nullopt;
    }
    std::optional<std::uint32_t> u32_at(std::uint32_t rva) const {
        const auto offset = offset_of(rva);
        return offset ? bytes_.u32(*offset) : std::nullopt;
    }
    std::optional<std::string> name_at(std::uint32_t rva) const {
        const auto offset = offset_of(rva);
        return offset ? bytes_.name(*offset) : std::nullopt;
    }

private:
    const Bytes& bytes_;
    std::vector<Section> sections_;
    std::uint32_t header_size_;
};

std::vector<std::string> export_names(const Image& image, std::uint32_t directory) {
    std::vector<std::string> names;
    const auto count = image.u32_at(directory + 24);    // NumberOfNames
    const auto address = image.u32_at(directory + 32);  // AddressOfNames
    if (!count || !address || directory > UINT32_MAX - 40) return names;
    const std::size_t shown = std::min<std::size_t>(*count, kMaxNames);
    for (std::size_t i = 0; i < shown; ++i) {
        const std::uint64_t slot = std::uint64_t{*address} + 4 * i;
        if (slot > UINT32_MAX - 4) break;
        const auto name_rva = image.u32_at(static_cast<std::uint32_t>(slot));
        if (!name_rva) break;
        if (auto name = image.name_at(*name_rva)) names.push_back(std::move(*name));
    }
    return names;
}

std::vector<std::string> import_names(const Image& image, std::uint32_t directory) {
    std::vector<std::string> names;
    for (std::size_t i = 0; i < kMaxImports; ++i) {
        const std::uint64_t descriptor = std::uint64_t{directory} + 20 * i;
        if (descriptor > UINT32_MAX - 20) break;
        const auto rva = static_cast<std::uint32_t>(descriptor);
        const auto lookup = image.u32_at(rva);
        const auto name = image.u32_at(rva + 12);
        const auto thunks = image.u32_at(rva + 16);
        if (!lookup || !name || !thunks) break;
        if (*lookup == 0 && *name == 0 && *thunks == 0) break;  // the closing descriptor
        if (auto text = image.name_at(*name)) names.push_back(std::move(*text));
    }
    return names;
}

}  // namespace

std::optional<PeFacts> read_pe(std::span<const unsigned char> file) {
    const Bytes bytes(file);
    if (bytes.u16(0) != std::optional<std::uint16_t>(0x5A4D)) return std::nullopt;  // MZ
    const auto pe = bytes.u32(0x3C);
    if (!pe || bytes.u32(*pe) != std::optional<std::uint32_t>(0x00004550)) return std::nullopt;  // PE\0\0
    const std::size_t coff = std::size_t{*pe} + 4;
    const auto machine = bytes.u16(coff);
    const auto section_count = bytes.u16(coff + 2);
    const auto optional_size = bytes.u16(coff + 16);
    if (!machine || !section_count || !optional_size) return std::nullopt;

    PeFacts facts;
    facts.machine = *machine;
    const std::size_t optional_header = coff + 20;
    const auto magic = bytes.u16(optional_header);
    if (!magic || !bytes.holds(optional_header, *optional_size)) {
        facts.truncated = true;
        return facts;
    }
    const bool plus = *magic == 0x20B;
    if (!plus && *magic != 0x10B) return facts;  // neither PE32 nor PE32+: nothing more to read
    const std::size_t directories_at = optional_header + (plus ? 112 : 96);
    const std::size_t count_at = optional_header + (plus ? 108 : 92);
    const auto header_size = bytes.u32(optional_header + 60);  // SizeOfHeaders
    const auto directory_count = bytes.u32(count_at);
    if (!header_size || !directory_count || count_at + 4 > optional_header + *optional_size) return facts;

    std::vector<Section> sections;
    const std::size_t table = optional_header + *optional_size;
    for (std::size_t i = 0; i < std::min<std::size_t>(*section_count, kMaxSections); ++i) {
        const std::size_t at = table + 40 * i;
        const auto virtual_size = bytes.u32(at + 8);
        const auto address = bytes.u32(at + 12);
        const auto raw_size = bytes.u32(at + 16);
        const auto raw_offset = bytes.u32(at + 20);
        if (!virtual_size || !address || !raw_size || !raw_offset) {
            facts.truncated = true;
            break;
        }
        if (!bytes.holds(*raw_offset, *raw_size)) facts.truncated = true;
        sections.push_back({*address, std::max(*virtual_size, *raw_size), *raw_size, *raw_offset});
    }
    const Image image(bytes, std::move(sections), *header_size);

    // Each directory is read only where the optional header has room for it.
    const auto directory = [&](std::size_t index) -> std::optional<std::uint32_t> {
        const std::size_t at = directories_at + 8 * index;
        if (index >= *directory_count || at + 8 > optional_header + *optional_size) return std::nullopt;
        const auto rva = bytes.u32(at);
        const auto size = bytes.u32(at + 4);
        if (!rva || !size || *rva == 0 || *size == 0) return std::nullopt;
        return rva;
    };
    if (const auto exports = directory(0)) facts.exports = export_names(image, *exports);
    if (const auto imports = directory(1)) facts.imports = import_names(image, *imports);
    return facts;
}

std::optional<PeFacts> read_pe_file(const std::filesystem::path& path, std::size_t max_bytes) {
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    std::ifstream in(path, std::ios::binary);
    if (error || !in) return std::nullopt;
    std::vector<unsigned char> bytes(static_cast<std::size_t>(std::min<std::uintmax_t>(size, max_bytes)));
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    const bool cut = size > max_bytes;
    std::optional<PeFacts> facts = read_pe(bytes);
    if (facts && cut) facts->truncated = true;
    return facts;
}

}  // namespace kavrelo::binding
