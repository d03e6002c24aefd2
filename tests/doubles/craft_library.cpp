// SPDX-License-Identifier: MIT
// Makes the shared libraries that no compiler writes, for the tests of how
// the binding reads a library's names:
//   craft_library without-section-headers IN OUT
//     IN with its section headers removed, as a stripping tool can: the
//     loader never needs them, so the library loads as before.
//   craft_library shared-long-name OUT
//     A loadable library of about 1 MB without the entry points, whose
//     symbols all point at one name of half a megabyte, but one:
//     _Z10parser_SLRPc, parser_SLR exported under its C++ name.
#include <elf.h>
#include <link.h>

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace {

using Bytes = std::vector<char>;

Bytes read_file(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool write_file(const char* path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out.flush());
}

template <class Record>
void put(Bytes& file, std::size_t at, const Record& record) {
    std::memcpy(file.data() + at, &record, sizeof record);
}

int without_section_headers(const char* in, const char* out) {
    Bytes file = read_file(in);
    ElfW(Ehdr) header;
    if (file.size() < sizeof header) return 1;
    std::memcpy(&header, file.data(), sizeof header);
    header.e_shoff = 0;
    header.e_shnum = 0;
    header.e_shstrndx = SHN_UNDEF;
    put(file, 0, header);
    return write_file(out, file) ? 0 : 1;
}

constexpr std::size_t kSymbols = 20000;  // the null symbol and the C++ name among them
constexpr std::size_t kLongName = std::size_t{512} << 10;
constexpr std::string_view kCppName = "_Z10parser_SLRPc";

// Where each part lies: the file is mapped whole at address 0, so that a
// part's address is its offset.
struct Plan {
    static constexpr std::size_t program_headers = sizeof(ElfW(Ehdr));
    static constexpr std::size_t dynamic = program_headers + 3 * sizeof(ElfW(Phdr));
    static constexpr std::size_t hash = dynamic + 6 * sizeof(ElfW(Dyn));
    static constexpr std::size_t symbols = hash + (2 + 1 + kSymbols) * sizeof(Elf32_Word);
    static constexpr std::size_t strings = symbols + kSymbols * sizeof(ElfW(Sym));
    static constexpr std::size_t strings_size = 1 + kCppName.size() + 1 + kLongName + 1;
    static constexpr std::size_t sections = (strings + strings_size + 7) & ~std::size_t{7};  // aligned
    static constexpr std::size_t size = sections + 3 * sizeof(ElfW(Shdr));
};

ElfW(Ehdr) file_header() {
    ElfW(Ehdr) header{};
    std::memcpy(header.e_ident, ELFMAG, SELFMAG);
    header.e_ident[EI_CLASS] = sizeof(void*) == 8 ? ELFCLASS64 : ELFCLASS32;
    header.e_ident[EI_DATA] = ELFDATA2LSB;
    header.e_ident[EI_VERSION] = EV_CURRENT;
    header.e_type = ET_DYN;
#if defined(__x86_64__)
    header.e_machine = EM_X86_64;
#elif defined(__i386__)
    header.e_machine = EM_386;
#elif defined(__aarch64__)
    header.e_machine = EM_AARCH64;
#endif
    header.e_version = EV_CURRENT;
    header.e_phoff = Plan::program_headers;
    header.e_shoff = Plan::sections;
    header.e_ehsize = sizeof header;
    header.e_phentsize = sizeof(ElfW(Phdr));
    header.e_phnum = 3;
    header.e_shentsize = sizeof(ElfW(Shdr));
    header.e_shnum = 3;
    return header;
}

void put_segments(Bytes& file) {
    ElfW(Phdr) load{};
    load.p_type = PT_LOAD;
    load.p_flags = PF_R | PF_W;
    load.p_filesz = load.p_memsz = Plan::size;
    load.p_align = 0x1000;
    ElfW(Phdr) dynamic{};
    dynamic.p_type = PT_DYNAMIC;
    dynamic.p_flags = PF_R | PF_W;
    dynamic.p_offset = dynamic.p_vaddr = Plan::dynamic;
    dynamic.p_filesz = dynamic.p_memsz = 6 * sizeof(ElfW(Dyn));
    ElfW(Phdr) stack{};  // a stack that is not executable
    stack.p_type = PT_GNU_STACK;
    stack.p_flags = PF_R | PF_W;
    put(file, Plan::program_headers, load);
    put(file, Plan::program_headers + sizeof load, dynamic);
    put(file, Plan::program_headers + 2 * sizeof load, stack);
    const ElfW(Dyn) entries[] = {{DT_HASH, {Plan::hash}},          {DT_STRTAB, {Plan::strings}},
                                 {DT_SYMTAB, {Plan::symbols}},     {DT_STRSZ, {Plan::strings_size}},
                                 {DT_SYMENT, {sizeof(ElfW(Sym))}}, {DT_NULL, {0}}};
    put(file, Plan::dynamic, entries);
}

// One bucket, whose chain runs through every symbol.
void put_hash_table(Bytes& file) {
    std::vector<Elf32_Word> table{1, kSymbols, 1, 0};
    for (std::size_t symbol = 1; symbol < kSymbols; ++symbol) {
        table.push_back(symbol + 1 < kSymbols ? static_cast<Elf32_Word>(symbol + 1) : 0);
    }
    std::memcpy(file.data() + Plan::hash, table.data(), table.size() * sizeof(Elf32_Word));
}

void put_symbols(Bytes& file) {
    const auto cpp_name = static_cast<Elf32_Word>(1);
    const auto long_name = static_cast<Elf32_Word>(1 + kCppName.size() + 1);
    for (std::size_t symbol = 1; symbol < kSymbols; ++symbol) {
        ElfW(Sym) entry{};
        entry.st_name = symbol + 1 < kSymbols ? long_name : cpp_name;
        entry.st_info = ELF64_ST_INFO(STB_GLOBAL, STT_OBJECT);
        entry.st_shndx = 1;
        entry.st_value = Plan::strings;
        put(file, Plan::symbols + symbol * sizeof entry, entry);
    }
    std::memcpy(file.data() + Plan::strings + cpp_name, kCppName.data(), kCppName.size());
    std::memset(file.data() + Plan::strings + long_name, 'x', kLongName);
}

// Section headers for the symbols and their names, as a linker writes them.
void put_sections(Bytes& file) {
    ElfW(Shdr) symbols{};
    symbols.sh_type = SHT_DYNSYM;
    symbols.sh_flags = SHF_ALLOC;
    symbols.sh_addr = symbols.sh_offset = Plan::symbols;
    symbols.sh_size = kSymbols * sizeof(ElfW(Sym));
    symbols.sh_link = 2;
    symbols.sh_info = 1;
    symbols.sh_entsize = sizeof(ElfW(Sym));
    ElfW(Shdr) strings{};
    strings.sh_type = SHT_STRTAB;
    strings.sh_flags = SHF_ALLOC;
    strings.sh_addr = strings.sh_offset = Plan::strings;
    strings.sh_size = Plan::strings_size;
    put(file, Plan::sections + sizeof symbols, symbols);
    put(file, Plan::sections + 2 * sizeof symbols, strings);
}

int shared_long_name(const char* out) {
    Bytes file(Plan::size, 0);
    put(file, 0, file_header());
    put_segments(file);
    put_hash_table(file);
    put_symbols(file);
    put_sections(file);
    return write_file(out, file) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "without-section-headers" && argc == 4) return without_section_headers(argv[2], argv[3]);
    if (mode == "shared-long-name" && argc == 3) return shared_long_name(argv[2]);
    std::fputs("usage: craft_library without-section-headers IN OUT | shared-long-name OUT\n", stderr);
    return 2;
}
