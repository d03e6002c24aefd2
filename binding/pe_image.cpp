// SPDX-License-Identifier: MIT
#include "pe_image.h"

#include "image_bytes.h"

#include <algorithm>

namespace kavrelo::binding {
namespace {

// Limits that no real library comes near, so that a hostile count cannot
// make the reader loop for long or keep much.
constexpr std::size_t kMaxNames = 1u << 16;
constexpr std::size_t kMaxNameLength = 1024;
constexpr std::size_t kMaxSections = 96;  // the format's own limit
constexpr std::size_t kMaxImports = 4096;

// The DOS header: its magic, and where the PE signature lies.
constexpr std::uint16_t kDosMagic = 0x5A4D;         // MZ
constexpr std::size_t kPeHeaderAt = 0x3C;           // e_lfanew
constexpr std::uint32_t kPeSignature = 0x00004550;  // PE\0\0
constexpr std::size_t kPeSignatureSize = 4;

// The COFF file header, right after the signature.
constexpr std::size_t kMachineAt = 0;
constexpr std::size_t kSectionCountAt = 2;
constexpr std::size_t kOptionalHeaderSizeAt = 16;
constexpr std::size_t kFileHeaderSize = 20;

// The optional header: PE32 or PE32+, whose data directories lie at
// different offsets.
constexpr std::uint16_t kPe32Magic = 0x10B;
constexpr std::uint16_t kPe32PlusMagic = 0x20B;
constexpr std::size_t kHeadersSizeAt = 60;  // SizeOfHeaders
constexpr std::size_t kDirectoryCountAt32 = 92;
constexpr std::size_t kDirectoryCountAt32Plus = 108;
constexpr std::size_t kDirectoryCountSize = 4;
// A data directory: its address, then its size.
constexpr std::size_t kDirectorySize = 8;
constexpr std::size_t kExportDirectory = 0;
constexpr std::size_t kImportDirectory = 1;

// A section header.
constexpr std::size_t kSectionHeaderSize = 40;
constexpr std::size_t kVirtualSizeAt = 8;
constexpr std::size_t kVirtualAddressAt = 12;
constexpr std::size_t kRawSizeAt = 16;
constexpr std::size_t kRawOffsetAt = 20;

// The export directory.
constexpr std::size_t kNameCountAt = 24;  // NumberOfNames
constexpr std::size_t kNameTableAt = 32;  // AddressOfNames
constexpr std::size_t kExportDirectorySize = 40;

// An import descriptor; an all-zero one closes the table.
constexpr std::size_t kLookupTableAt = 0;
constexpr std::size_t kImportNameAt = 12;
constexpr std::size_t kAddressTableAt = 16;
constexpr std::size_t kImportDescriptorSize = 20;

// The COFF header's facts, and where the optional header lies.
struct FileHeader {
    std::uint16_t machine = 0;
    std::uint16_t section_count = 0;
    std::size_t optional_header = 0;
    std::uint16_t optional_header_size = 0;

    std::size_t section_table() const { return optional_header + optional_header_size; }
};

std::optional<FileHeader> read_file_header(const ImageBytes& bytes) {
    if (bytes.read<std::uint16_t>(0) != kDosMagic) return std::nullopt;
    const auto pe = bytes.read<std::uint32_t>(kPeHeaderAt);
    if (!pe || bytes.read<std::uint32_t>(*pe) != kPeSignature) return std::nullopt;
    const std::size_t coff = std::size_t{*pe} + kPeSignatureSize;
    const auto machine = bytes.read<std::uint16_t>(coff + kMachineAt);
    const auto section_count = bytes.read<std::uint16_t>(coff + kSectionCountAt);
    const auto optional_size = bytes.read<std::uint16_t>(coff + kOptionalHeaderSizeAt);
    if (!machine || !section_count || !optional_size) return std::nullopt;
    return FileHeader{*machine, *section_count, coff + kFileHeaderSize, *optional_size};
}

// What the optional header says this reader needs: the size of the headers
// and where the data directories lie; only its own bytes are read.
struct OptionalHeader {
    ImageBytes bytes;
    std::uint32_t headers_size = 0;
    std::size_t directories_at = 0;
    std::uint32_t directory_count = 0;

    // A data directory's address, when the header has room for it and it
    // is not empty.
    std::optional<std::uint32_t> directory(std::size_t index) const {
        if (index >= directory_count) return std::nullopt;
        const std::size_t at = directories_at + kDirectorySize * index;
        const auto address = bytes.read<std::uint32_t>(at);
        const auto size = bytes.read<std::uint32_t>(at + 4);
        if (!address || !size || *address == 0 || *size == 0) return std::nullopt;
        return address;
    }
};

// Nothing when the header is neither PE32 nor PE32+ or its fields are not
// all there.
std::optional<OptionalHeader> read_optional_header(const ImageBytes& header) {
    const auto magic = header.read<std::uint16_t>(0);
    if (magic != kPe32Magic && magic != kPe32PlusMagic) return std::nullopt;
    const std::size_t count_at = magic == kPe32PlusMagic ? kDirectoryCountAt32Plus : kDirectoryCountAt32;
    const auto headers_size = header.read<std::uint32_t>(kHeadersSizeAt);
    const auto directory_count = header.read<std::uint32_t>(count_at);
    if (!headers_size || !directory_count) return std::nullopt;
    return OptionalHeader{header, *headers_size, count_at + kDirectoryCountSize, *directory_count};
}

struct Section {
    std::uint32_t address = 0;  // VirtualAddress
    std::uint32_t mapped = 0;   // VirtualSize, or the raw size when larger
    std::uint32_t raw_size = 0;
    std::uint32_t raw_offset = 0;
};

// The section table, as far as the file holds it; truncated is set when it
// or a section's data is cut short.
std::vector<Section> read_sections(const ImageBytes& bytes, const FileHeader& file, bool& truncated) {
    std::vector<Section> sections;
    for (std::size_t i = 0; i < std::min<std::size_t>(file.section_count, kMaxSections); ++i) {
        const std::size_t at = file.section_table() + kSectionHeaderSize * i;
        const auto virtual_size = bytes.read<std::uint32_t>(at + kVirtualSizeAt);
        const auto address = bytes.read<std::uint32_t>(at + kVirtualAddressAt);
        const auto raw_size = bytes.read<std::uint32_t>(at + kRawSizeAt);
        const auto raw_offset = bytes.read<std::uint32_t>(at + kRawOffsetAt);
        if (!virtual_size || !address || !raw_size || !raw_offset) {
            truncated = true;
            break;
        }
        if (!bytes.holds(*raw_offset, *raw_size)) truncated = true;
        sections.push_back({*address, std::max(*virtual_size, *raw_size), *raw_size, *raw_offset});
    }
    return sections;
}

class Image {
public:
    Image(const ImageBytes& bytes, std::vector<Section> sections, std::uint32_t header_size)
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
        return offset ? bytes_.read<std::uint32_t>(*offset) : std::nullopt;
    }
    std::optional<std::string> name_at(std::uint32_t rva) const {
        const auto offset = offset_of(rva);
        const auto name = offset ? bytes_.name(*offset, kMaxNameLength) : std::nullopt;
        return name ? std::optional<std::string>(*name) : std::nullopt;
    }

private:
    const ImageBytes& bytes_;
    std::vector<Section> sections_;
    std::uint32_t header_size_;
};

std::vector<std::string> export_names(const Image& image, std::uint32_t directory) {
    std::vector<std::string> names;
    const auto count = image.u32_at(directory + kNameCountAt);
    const auto address = image.u32_at(directory + kNameTableAt);
    if (!count || !address || directory > UINT32_MAX - kExportDirectorySize) return names;
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
        const std::uint64_t descriptor = std::uint64_t{directory} + kImportDescriptorSize * i;
        if (descriptor > UINT32_MAX - kImportDescriptorSize) break;
        const auto rva = static_cast<std::uint32_t>(descriptor);
        const auto lookup = image.u32_at(rva + kLookupTableAt);
        const auto name = image.u32_at(rva + kImportNameAt);
        const auto thunks = image.u32_at(rva + kAddressTableAt);
        if (!lookup || !name || !thunks) break;
        if (*lookup == 0 && *name == 0 && *thunks == 0) break;
        if (auto text = image.name_at(*name)) names.push_back(std::move(*text));
    }
    return names;
}

}  // namespace

std::optional<PeFacts> read_pe(std::span<const unsigned char> file) {
    const ImageBytes bytes(file);
    const std::optional<FileHeader> file_header = read_file_header(bytes);
    if (!file_header) return std::nullopt;
    PeFacts facts;
    facts.machine = file_header->machine;
    // Its magic at least, and all the bytes it says it has.
    const std::size_t promised = std::max<std::size_t>(file_header->optional_header_size, 2);
    if (!bytes.holds(file_header->optional_header, promised)) {
        facts.truncated = true;
        return facts;
    }
    const auto optional_header =
        read_optional_header(bytes.part(file_header->optional_header, file_header->optional_header_size));
    if (!optional_header) return facts;
    const Image image(bytes, read_sections(bytes, *file_header, facts.truncated),
                      optional_header->headers_size);
    if (const auto exports = optional_header->directory(kExportDirectory)) {
        facts.exports = export_names(image, *exports);
    }
    if (const auto imports = optional_header->directory(kImportDirectory)) {
        facts.imports = import_names(image, *imports);
    }
    return facts;
}

std::optional<PeFacts> read_pe_file(const std::filesystem::path& path, std::size_t max_bytes) {
    const std::optional<FileStart> start = read_file_start(path, max_bytes);
    if (!start) return std::nullopt;
    std::optional<PeFacts> facts = read_pe(start->bytes);
    if (facts && start->cut) facts->truncated = true;
    return facts;
}

}  // namespace kavrelo::binding
