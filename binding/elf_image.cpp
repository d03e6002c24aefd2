// SPDX-License-Identifier: MIT
#include "elf_image.h"

#include "image_bytes.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <limits>
#include <unordered_set>

namespace kavrelo::binding {
namespace {

// Limits that no real library comes near, so that a hostile count cannot
// make the reader loop for long or keep much: symbols read, names kept, the
// length of one name and the bytes of all names kept.
constexpr std::size_t kMaxSymbols = std::size_t{1} << 18;
constexpr std::size_t kMaxNames = std::size_t{1} << 16;
constexpr std::size_t kMaxNameLength = 1024;
constexpr std::size_t kMaxNameBytes = std::size_t{4} << 20;

// The identification bytes at the start of the file.
constexpr unsigned char kMagic[] = {0x7F, 'E', 'L', 'F'};
constexpr std::size_t kClassAt = 4;
constexpr std::size_t kByteOrderAt = 5;
constexpr std::uint8_t kClass32 = 1;
constexpr std::uint8_t kClass64 = 2;
constexpr std::uint8_t kLittleEndian = 1;
constexpr std::uint8_t kBigEndian = 2;

// Program header types, dynamic tags and the undefined section.
constexpr std::uint32_t kLoadSegment = 1;     // PT_LOAD
constexpr std::uint32_t kDynamicSegment = 2;  // PT_DYNAMIC
constexpr std::uint64_t kEndOfDynamic = 0;    // DT_NULL
constexpr std::uint64_t kHashTable = 4;       // DT_HASH
constexpr std::uint64_t kStringTable = 5;     // DT_STRTAB
constexpr std::uint64_t kSymbolTable = 6;     // DT_SYMTAB
constexpr std::uint64_t kStringTableSize = 10;
constexpr std::uint64_t kSymbolSize = 11;  // DT_SYMENT
constexpr std::uint64_t kGnuHashTable = 0x6FFFFEF5;
constexpr std::uint16_t kUndefinedSection = 0;
// Section types, and what a symbol's info and other bytes say.
constexpr std::uint32_t kStaticSymbolTable = 2;  // SHT_SYMTAB
constexpr std::uint8_t kLocalBinding = 0;        // STB_LOCAL, in the high half of st_info
constexpr std::uint8_t kFunctionType = 2;        // STT_FUNC, in the low half
constexpr std::uint8_t kDefaultVisibility = 0;   // STV_DEFAULT, in the low bits of st_other

// Where each field lies in the two classes of the format. Addresses,
// offsets and sizes are words of the class's width.
struct Layout {
    std::size_t word;
    // The file header.
    std::size_t program_headers_at;      // e_phoff
    std::size_t program_header_size_at;  // e_phentsize
    std::size_t program_header_count_at;
    std::size_t section_headers_at;      // e_shoff
    std::size_t section_header_size_at;  // e_shentsize
    std::size_t section_header_count_at;
    // A section header; its type is at 4.
    std::size_t section_header_size;
    std::size_t section_offset_at;  // sh_offset
    std::size_t section_size_at;
    std::size_t section_link_at;  // sh_link: a symbol table's strings
    // A program header; its type is at its start.
    std::size_t program_header_size;
    std::size_t segment_offset_at;  // p_offset
    std::size_t segment_address_at;
    std::size_t segment_file_size_at;
    // A dynamic entry: its tag at its start, then its value.
    std::size_t dynamic_entry_size;
    // A symbol: its name's offset at its start.
    std::size_t symbol_size;
    std::size_t symbol_section_at;  // st_shndx
    std::size_t symbol_info_at;     // st_info, then st_other
};
constexpr Layout kLayout32{.word = 4,
                           .program_headers_at = 28,
                           .program_header_size_at = 42,
                           .program_header_count_at = 44,
                           .section_headers_at = 32,
                           .section_header_size_at = 46,
                           .section_header_count_at = 48,
                           .section_header_size = 40,
                           .section_offset_at = 16,
                           .section_size_at = 20,
                           .section_link_at = 24,
                           .program_header_size = 32,
                           .segment_offset_at = 4,
                           .segment_address_at = 8,
                           .segment_file_size_at = 16,
                           .dynamic_entry_size = 8,
                           .symbol_size = 16,
                           .symbol_section_at = 14,
                           .symbol_info_at = 12};
constexpr Layout kLayout64{.word = 8,
                           .program_headers_at = 32,
                           .program_header_size_at = 54,
                           .program_header_count_at = 56,
                           .section_headers_at = 40,
                           .section_header_size_at = 58,
                           .section_header_count_at = 60,
                           .section_header_size = 64,
                           .section_offset_at = 24,
                           .section_size_at = 32,
                           .section_link_at = 40,
                           .program_header_size = 56,
                           .segment_offset_at = 8,
                           .segment_address_at = 16,
                           .segment_file_size_at = 32,
                           .dynamic_entry_size = 16,
                           .symbol_size = 24,
                           .symbol_section_at = 6,
                           .symbol_info_at = 4};

// A number from the file as an offset or length here; one that does not fit
// lies past the end of any file.
std::size_t as_size(std::uint64_t value) {
    return static_cast<std::size_t>(std::min<std::uint64_t>(value, std::numeric_limits<std::size_t>::max()));
}

struct Elf {
    ImageBytes bytes;
    const Layout& layout;

    std::optional<std::uint64_t> word(const ImageBytes& from, std::size_t offset) const {
        return from.number(offset, layout.word);
    }
};

std::optional<Elf> identify(std::span<const unsigned char> file) {
    const ImageBytes plain(file);
    for (std::size_t i = 0; i < std::size(kMagic); ++i) {
        if (plain.read<std::uint8_t>(i) != kMagic[i]) return std::nullopt;
    }
    const auto elf_class = plain.read<std::uint8_t>(kClassAt);
    const auto order = plain.read<std::uint8_t>(kByteOrderAt);
    if (elf_class != kClass32 && elf_class != kClass64) return std::nullopt;
    if (order != kLittleEndian && order != kBigEndian) return std::nullopt;
    return Elf{ImageBytes(file, order == kLittleEndian ? ImageBytes::ByteOrder::little_endian
                                                       : ImageBytes::ByteOrder::big_endian),
               elf_class == kClass32 ? kLayout32 : kLayout64};
}

struct Segment {
    std::uint64_t offset = 0;
    std::uint64_t address = 0;
    std::uint64_t file_size = 0;
};

struct Segments {
    std::vector<Segment> loads;
    std::optional<Segment> dynamic;
};

// The program headers, as far as they can be read. The loader takes no
// headers of another size.
Segments read_program_headers(const Elf& elf) {
    const Layout& layout = elf.layout;
    const auto table = elf.word(elf.bytes, layout.program_headers_at);
    const auto entry_size = elf.bytes.read<std::uint16_t>(layout.program_header_size_at);
    const auto count = elf.bytes.read<std::uint16_t>(layout.program_header_count_at);
    Segments segments;
    if (!table || *table > elf.bytes.size() || !count || entry_size != layout.program_header_size) {
        return segments;
    }
    for (std::size_t i = 0; i < *count; ++i) {
        const ImageBytes header =
            elf.bytes.part(as_size(*table + std::uint64_t{i} * *entry_size), *entry_size);
        const auto type = header.read<std::uint32_t>(0);
        const auto offset = elf.word(header, layout.segment_offset_at);
        const auto address = elf.word(header, layout.segment_address_at);
        const auto file_size = elf.word(header, layout.segment_file_size_at);
        if (!type || !offset || !address || !file_size) break;
        const Segment segment{*offset, *address, *file_size};
        if (*type == kLoadSegment) segments.loads.push_back(segment);
        if (*type == kDynamicSegment) segments.dynamic = segment;
    }
    return segments;
}

// Virtual addresses, as the dynamic entries give them, mapped to the file
// through the loadable segments; an address no segment maps from the file
// has no bytes.
class AddressMap {
public:
    AddressMap(const ImageBytes& bytes, std::vector<Segment> loads)
        : bytes_(bytes), loads_(std::move(loads)) {}

    // The file's bytes from the address to the end of its segment's.
    ImageBytes from(std::uint64_t address) const {
        for (const Segment& load : loads_) {
            if (address < load.address || address - load.address >= load.file_size) continue;
            const std::uint64_t into = address - load.address;
            if (load.offset > std::numeric_limits<std::uint64_t>::max() - into) continue;
            return bytes_.part(as_size(load.offset + into), as_size(load.file_size - into));
        }
        return bytes_.part(bytes_.size(), 0);
    }

private:
    const ImageBytes& bytes_;
    std::vector<Segment> loads_;
};

// The entries of the dynamic segment this reader needs (the last of each
// tag counts, as for the loader).
struct DynamicTable {
    std::optional<std::uint64_t> strings;
    std::uint64_t strings_size = 0;
    std::optional<std::uint64_t> symbols;
    std::optional<std::uint64_t> symbol_size;
    std::optional<std::uint64_t> hash;
    std::optional<std::uint64_t> gnu_hash;
};

DynamicTable read_dynamic(const Elf& elf, const AddressMap& map, const Segment& dynamic) {
    const ImageBytes entries = map.from(dynamic.address).part(0, as_size(dynamic.file_size));
    const std::size_t entry_size = elf.layout.dynamic_entry_size;
    DynamicTable table;
    for (std::size_t at = 0; entries.holds(at, entry_size); at += entry_size) {
        const std::uint64_t tag = *elf.word(entries, at);
        const std::uint64_t value = *elf.word(entries, at + elf.layout.word);
        if (tag == kEndOfDynamic) break;
        if (tag == kStringTable) table.strings = value;
        if (tag == kStringTableSize) table.strings_size = value;
        if (tag == kSymbolTable) table.symbols = value;
        if (tag == kSymbolSize) table.symbol_size = value;
        if (tag == kHashTable) table.hash = value;
        if (tag == kGnuHashTable) table.gnu_hash = value;
    }
    return table;
}

// The classic hash table says how many symbols there are: one chain entry
// per symbol.
std::optional<std::uint64_t> count_by_hash(const AddressMap& map, std::uint64_t address) {
    return map.from(address).read<std::uint32_t>(4);  // nchain, after nbucket
}

// The GNU hash table says it only through its chains: the symbols past the
// highest one a bucket starts at, up to the end of that bucket's chain (an
// entry with its lowest bit set).
std::optional<std::uint64_t> count_by_gnu_hash(const Elf& elf, const AddressMap& map, std::uint64_t address) {
    const ImageBytes table = map.from(address);
    const auto bucket_count = table.read<std::uint32_t>(0);
    const auto first_hashed = table.read<std::uint32_t>(4);
    const auto bloom_words = table.read<std::uint32_t>(8);
    if (!bucket_count || !first_hashed || !bloom_words) return std::nullopt;
    const std::uint64_t buckets_at = 16 + std::uint64_t{*bloom_words} * elf.layout.word;
    const std::uint64_t chains_at = buckets_at + std::uint64_t{4} * *bucket_count;
    if (chains_at > table.size()) return std::nullopt;
    std::uint32_t last_start = 0;
    for (std::size_t i = 0; i < *bucket_count; ++i) {
        last_start = std::max(last_start, *table.read<std::uint32_t>(as_size(buckets_at + 4 * i)));
    }
    if (last_start < *first_hashed) return *first_hashed;
    for (std::uint64_t symbol = last_start; symbol < kMaxSymbols; ++symbol) {
        const auto chain = table.read<std::uint32_t>(as_size(chains_at + 4 * (symbol - *first_hashed)));
        if (!chain) return std::nullopt;
        if (*chain & 1) return symbol + 1;
    }
    return kMaxSymbols;
}

// Which defined symbols a table's names are taken of.
enum class Taken { all, unexported_functions };

// Whether a function is kept from other files: local to its own, or hidden.
bool unexported_function(const Elf& elf, const ImageBytes& symbols, std::size_t at) {
    const auto info = symbols.read<std::uint8_t>(at + elf.layout.symbol_info_at);
    const auto other = symbols.read<std::uint8_t>(at + elf.layout.symbol_info_at + 1);
    return info && other && (*info & 0xF) == kFunctionType &&
           ((*info >> 4) == kLocalBinding || (*other & 0x3) != kDefaultVisibility);
}

// The names of the defined symbols, each name once: symbols that share one
// name are read as the one name they are.
std::vector<std::string> defined_names(const Elf& elf, const ImageBytes& symbols, const ImageBytes& strings,
                                       std::size_t count, Taken taken = Taken::all) {
    std::vector<std::string> names;
    std::unordered_set<std::uint32_t> seen;
    std::size_t kept_bytes = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t at = i * elf.layout.symbol_size;
        const auto name_at = symbols.read<std::uint32_t>(at);
        const auto section = symbols.read<std::uint16_t>(at + elf.layout.symbol_section_at);
        if (!name_at || !section) break;
        if (*section == kUndefinedSection) continue;
        if (taken == Taken::unexported_functions && !unexported_function(elf, symbols, at)) continue;
        if (!seen.insert(*name_at).second) continue;
        const auto name = strings.name(*name_at, kMaxNameLength);
        if (!name) continue;
        if (names.size() == kMaxNames || kept_bytes + name->size() > kMaxNameBytes) break;
        kept_bytes += name->size();
        names.emplace_back(*name);
    }
    return names;
}

std::vector<std::string> exported_names(const Elf& elf, const AddressMap& map, const DynamicTable& table) {
    if (!table.strings || !table.symbols) return {};
    if (table.symbol_size && *table.symbol_size != elf.layout.symbol_size) return {};
    std::optional<std::uint64_t> count;
    if (table.gnu_hash) count = count_by_gnu_hash(elf, map, *table.gnu_hash);
    if (!count && table.hash) count = count_by_hash(map, *table.hash);
    if (!count) return {};
    const std::size_t symbol_count = as_size(std::min<std::uint64_t>(*count, kMaxSymbols));
    const ImageBytes symbols = map.from(*table.symbols).part(0, symbol_count * elf.layout.symbol_size);
    const ImageBytes strings = map.from(*table.strings).part(0, as_size(table.strings_size));
    return defined_names(elf, symbols, strings, symbol_count);
}

// A section header's place in the file, as far as it can be read.
struct Section {
    std::uint32_t type = 0;
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
    std::uint32_t link = 0;
};

std::optional<Section> section_at(const Elf& elf, std::uint64_t table, std::size_t index) {
    const Layout& layout = elf.layout;
    const ImageBytes header = elf.bytes.part(
        as_size(table + std::uint64_t{index} * layout.section_header_size), layout.section_header_size);
    const auto type = header.read<std::uint32_t>(4);
    const auto offset = elf.word(header, layout.section_offset_at);
    const auto size = elf.word(header, layout.section_size_at);
    const auto link = header.read<std::uint32_t>(layout.section_link_at);
    if (!type || !offset || !size || !link) return std::nullopt;
    return Section{*type, *offset, *size, *link};
}

std::vector<std::string> unexported_function_names(const Elf& elf) {
    const Layout& layout = elf.layout;
    const auto table = elf.word(elf.bytes, layout.section_headers_at);
    const auto entry_size = elf.bytes.read<std::uint16_t>(layout.section_header_size_at);
    const auto count = elf.bytes.read<std::uint16_t>(layout.section_header_count_at);
    if (!table || *table > elf.bytes.size() || !count || entry_size != layout.section_header_size) return {};
    for (std::size_t i = 0; i < *count; ++i) {
        const std::optional<Section> symbols = section_at(elf, *table, i);
        if (!symbols) break;
        if (symbols->type != kStaticSymbolTable) continue;
        const std::optional<Section> strings =
            symbols->link < *count ? section_at(elf, *table, symbols->link) : std::nullopt;
        if (!strings) return {};
        const std::size_t symbol_count =
            as_size(std::min<std::uint64_t>(symbols->size / layout.symbol_size, kMaxSymbols));
        return defined_names(elf, elf.bytes.part(as_size(symbols->offset), symbol_count * layout.symbol_size),
                             elf.bytes.part(as_size(strings->offset), as_size(strings->size)), symbol_count,
                             Taken::unexported_functions);
    }
    return {};
}

}  // namespace

std::optional<ElfFacts> read_elf(std::span<const unsigned char> file) {
    const std::optional<Elf> elf = identify(file);
    if (!elf) return std::nullopt;
    Segments segments = read_program_headers(*elf);
    ElfFacts facts;
    facts.unexported_functions = unexported_function_names(*elf);
    if (!segments.dynamic) return facts;
    const AddressMap map(elf->bytes, std::move(segments.loads));
    facts.exports = exported_names(*elf, map, read_dynamic(*elf, map, *segments.dynamic));
    return facts;
}

std::optional<ElfFacts> read_elf_file(const std::filesystem::path& path, std::size_t max_bytes) {
    const std::optional<FileStart> start = read_file_start(path, max_bytes);
    return start ? read_elf(start->bytes) : std::nullopt;
}

}  // namespace kavrelo::binding
