// SPDX-License-Identifier: MIT
// The ELF reader, on every platform: a library file is read as a hostile
// one, and through what the dynamic loader reads, so that a library it loads
// has its names read too.
#include "support/doubles.h"

#include <binding/elf_image.h>
#include <binding/zavlek_library.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#if !defined(_WIN32)
#  include <sys/resource.h>
#  include <unistd.h>

#  include <fstream>
#endif

namespace kavrelo::binding {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

enum class Hash { classic, gnu };

struct Symbol {
    std::string name;
    bool defined = true;
    bool shares_previous_name = false;
};

// A library made of its headers, its dynamic segment and the tables that
// segment names, and no section headers. It is loaded at kBase, so that
// every address differs from its offset in the file.
class ElfBuilder {
public:
    static constexpr std::uint64_t kBase = 0x400000;

    ElfBuilder(bool wide, bool big_endian) : wide_(wide), big_endian_(big_endian) {}

    std::size_t word() const { return wide_ ? 8 : 4; }
    std::size_t symbol_size() const { return wide_ ? 24 : 16; }

    void put(std::size_t at, std::uint64_t value, std::size_t width) {
        if (file.size() < at + width) file.resize(at + width, 0);
        for (std::size_t i = 0; i < width; ++i) {
            file[at + i] = static_cast<unsigned char>(value >> 8 * (big_endian_ ? width - 1 - i : i));
        }
    }

    // The symbols after the null one, in their table's order.
    void build(const std::vector<Symbol>& symbols, Hash hash) {
        const std::uint32_t count = static_cast<std::uint32_t>(symbols.size()) + 1;
        hash_at = 0x180;
        symbols_at = hash_at + 0x40 + 4 * count;
        strings_at = symbols_at + symbol_size() * count;
        std::string strings(1, '\0');
        std::size_t name_at = 0;
        for (std::size_t i = 0; i < symbols.size(); ++i) {
            if (!symbols[i].shares_previous_name) {
                name_at = strings.size();
                strings += symbols[i].name + '\0';
            }
            const std::size_t symbol = symbols_at + symbol_size() * (i + 1);
            put(symbol, name_at, 4);
            put(symbol + (wide_ ? 6 : 14), symbols[i].defined ? 7 : 0, 2);
        }
        for (std::size_t i = 0; i < strings.size(); ++i) put(strings_at + i, strings[i], 1);
        put_headers();
        put_dynamic(hash, strings.size());
        put_hash(hash, count);
    }

    std::vector<unsigned char> file;
    std::size_t dynamic_at = 0x100;
    std::size_t hash_at = 0;
    std::size_t symbols_at = 0;
    std::size_t strings_at = 0;

private:
    void put_headers() {
        const unsigned char ident[] = {0x7F,
                                       'E',
                                       'L',
                                       'F',
                                       static_cast<unsigned char>(wide_ ? 2 : 1),
                                       static_cast<unsigned char>(big_endian_ ? 2 : 1),
                                       1};
        for (std::size_t i = 0; i < sizeof ident; ++i) put(i, ident[i], 1);
        put(wide_ ? 32 : 28, 0x40, word());                                    // e_phoff
        put(wide_ ? 54 : 42, wide_ ? 56 : 32, 2);                              // e_phentsize
        put(wide_ ? 56 : 44, 2, 2);                                            // e_phnum
        put_segment(0x40, 1, 0, file.size());                                  // PT_LOAD, the whole file
        put_segment(0x40 + (wide_ ? 56 : 32), 2, dynamic_at, 6 * 2 * word());  // PT_DYNAMIC
    }
    void put_segment(std::size_t at, std::uint32_t type, std::uint64_t offset, std::uint64_t size) {
        put(at, type, 4);
        put(at + (wide_ ? 8 : 4), offset, word());
        put(at + (wide_ ? 16 : 8), kBase + offset, word());
        put(at + (wide_ ? 32 : 16), size, word());
    }
    void put_dynamic(Hash hash, std::size_t strings_size) {
        const std::uint64_t entries[][2] = {{hash == Hash::gnu ? 0x6FFFFEF5u : 4u, kBase + hash_at},
                                            {5, kBase + strings_at},
                                            {6, kBase + symbols_at},
                                            {10, strings_size},
                                            {11, symbol_size()},
                                            {0, 0}};
        for (std::size_t i = 0; i < std::size(entries); ++i) {
            put(dynamic_at + 2 * word() * i, entries[i][0], word());
            put(dynamic_at + 2 * word() * i + word(), entries[i][1], word());
        }
    }
    // One bucket holding every symbol after the null one.
    void put_hash(Hash hash, std::uint32_t count) {
        if (hash == Hash::classic) {
            for (const std::uint32_t value : {1u, count, 1u}) put_next_word(value);
            for (std::uint32_t symbol = 0; symbol < count; ++symbol) {
                put_next_word(symbol == 0 || symbol + 1 == count ? 0 : symbol + 1);
            }
            return;
        }
        for (const std::uint32_t value : {1u, 1u, 1u, 0u})
            put_next_word(value);  // symbols from 1; one bloom word
        hash_cursor_ += word();
        put_next_word(1);
        for (std::uint32_t symbol = 1; symbol < count; ++symbol) {
            put_next_word(symbol + 1 == count ? 1 : 0);  // the lowest bit ends the chain
        }
    }
    void put_next_word(std::uint32_t value) {
        put(hash_at + hash_cursor_, value, 4);
        hash_cursor_ += 4;
    }

    bool wide_;
    bool big_endian_;
    std::size_t hash_cursor_ = 0;
};

const std::vector<Symbol> kNames = {{"puts", false}, {"mPila"}, {"_Z10parser_SLRPc"}, {"tokeniza"}};

std::vector<std::string> exports_of(const std::vector<unsigned char>& file) {
    const auto facts = read_elf(file);
    return facts ? facts->exports : std::vector<std::string>{"(no ELF file)"};
}

TEST(ElfReader, ReadsTheDefinedNamesThroughTheDynamicSegmentInEachClassAndByteOrder) {
    for (const bool wide : {false, true}) {
        for (const bool big_endian : {false, true}) {
            for (const Hash hash : {Hash::classic, Hash::gnu}) {
                ElfBuilder library(wide, big_endian);
                library.build(kNames, hash);
                EXPECT_THAT(exports_of(library.file), ElementsAre("mPila", "_Z10parser_SLRPc", "tokeniza"))
                    << wide << big_endian << static_cast<int>(hash);
            }
        }
    }
    EXPECT_FALSE(read_elf(std::vector<unsigned char>{'n', 'o', 't', ' ', 'E', 'L', 'F'}).has_value());
}

TEST(ElfReader, TheHashTableSaysHowManySymbolsThereAre) {
    ElfBuilder gnu(true, false);
    gnu.build(kNames, Hash::gnu);
    // The chain now ends at mPila: the symbols after it are none.
    gnu.put(gnu.hash_at + 16 + 8 + 4 + 4, 1, 4);
    EXPECT_THAT(exports_of(gnu.file), ElementsAre("mPila"));

    ElfBuilder classic(true, false);
    classic.build(kNames, Hash::classic);
    classic.put(classic.hash_at + 4, 3, 4);  // nchain: the null symbol, puts and mPila
    EXPECT_THAT(exports_of(classic.file), ElementsAre("mPila"));
}

TEST(ElfReader, SymbolsSharingOneNameGiveItOnceAndTooLongANameIsLeftOut) {
    std::vector<Symbol> symbols{{std::string(1000, 'a')}};
    symbols.insert(symbols.end(), 4999, Symbol{"", true, true});
    symbols.push_back({std::string(1100, 'b')});
    symbols.push_back({"_Z10parser_SLRPc"});
    ElfBuilder library(true, false);
    library.build(symbols, Hash::gnu);
    EXPECT_THAT(exports_of(library.file), ElementsAre(std::string(1000, 'a'), "_Z10parser_SLRPc"));
}

TEST(ElfReader, AFileCutAnywhereIsNeverReadPastItsEnd) {
    ElfBuilder library(true, false);
    library.build(kNames, Hash::gnu);
    for (std::size_t size = 0; size < library.file.size(); ++size) {
        const std::vector<unsigned char> cut(library.file.begin(),
                                             library.file.begin() + static_cast<std::ptrdiff_t>(size));
        const auto facts = read_elf(cut);
        EXPECT_EQ(facts.has_value(), size >= 6) << size;
    }
}

TEST(ElfReader, CountsAndAddressesThatLieAreNotFollowed) {
    ElfBuilder library(true, false);
    library.build(kNames, Hash::gnu);
    const std::vector<unsigned char> whole = library.file;

    // The chain never ends: it is read as far as the table goes.
    library.put(library.hash_at + 16 + 8 + 4 + 12, 0, 4);
    EXPECT_THAT(exports_of(library.file), ::testing::IsSupersetOf({"mPila", "_Z10parser_SLRPc", "tokeniza"}));

    library.file = whole;
    library.put(library.hash_at + 16 + 8, 0xFFFFFF00, 4);  // a chain far beyond: read up to the limit
    EXPECT_THAT(exports_of(library.file), ::testing::IsSupersetOf({"mPila", "_Z10parser_SLRPc", "tokeniza"}));

    library.file = whole;
    library.put(library.hash_at, 0xFFFFFFFF, 4);  // buckets beyond the file
    EXPECT_THAT(exports_of(library.file), ::testing::IsEmpty());

    library.file = whole;
    library.put(library.dynamic_at + 2 * 16 + 8, 0x7FFFFFFFFFFFFFF0, 8);  // symbols at no mapped address
    EXPECT_THAT(exports_of(library.file), ::testing::IsEmpty());

    library.file = whole;
    library.put(library.dynamic_at + 3 * 16 + 8, 0xFFFFFFFFFFFF, 8);  // names past the end of the file
    library.put(library.file.size() - 1, 'x', 1);                     // and the last without its end
    EXPECT_THAT(exports_of(library.file), ElementsAre("mPila", "_Z10parser_SLRPc"));
}

#if !defined(_WIN32)
// While it lives, the process may map at most a GiB more than it has: a
// reading that takes gigabytes fails at once rather than take the machine's
// memory. Not under the sanitizers, which map far more than that up front.
class AddressSpaceLimit {
public:
    AddressSpaceLimit() {
        getrlimit(RLIMIT_AS, &saved_);
#  if !defined(__SANITIZE_ADDRESS__)
        std::ifstream statm("/proc/self/statm");
        std::uint64_t pages = 0;
        statm >> pages;
        rlimit limited = saved_;
        limited.rlim_cur =
            pages * static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE)) + (std::uint64_t{1} << 30);
        if (pages > 0 && limited.rlim_cur < saved_.rlim_cur) setrlimit(RLIMIT_AS, &limited);
#  endif
    }
    ~AddressSpaceLimit() { setrlimit(RLIMIT_AS, &saved_); }
    AddressSpaceLimit(const AddressSpaceLimit&) = delete;
    AddressSpaceLimit& operator=(const AddressSpaceLimit&) = delete;

private:
    rlimit saved_{};
};

// What the binding says of a library on disk that lacks parser_SLR.
std::string parser_reason(const char* double_name) {
    kavrelo::testing::FolderLoader loader(double_name);
    ZavlekLibrary library(loader);
    try {
        library.parser_SLR(u"x");
    } catch (const BindingError& error) {
        return error.what();
    }
    return "bound";
}

constexpr const char* kCppHint =
    "exporta «parser_SLR(char*)» («_Z10parser_SLRPc») con nombre de C++; declárelo «extern \"C\"»";

TEST(ElfReader, ReadsTheNamesTheCompilerWrote) {
    const auto complete =
        read_elf_file(kavrelo::testing::double_folder(kavrelo::testing::kComplete) + "/libZavlek.so");
    ASSERT_TRUE(complete.has_value());
    for (const char* entry_point : {"mPila", "tokeniza", "tokeniza2", "parser_SLR"}) {
        EXPECT_THAT(complete->exports, ::testing::Contains(entry_point));
    }
}

// A library built without ZAVLEK_BUILDING_LIBRARY defines its entry points
// hidden: the static symbol table says so while the file is not stripped,
// and a stripped copy only loses the hint.
TEST(ElfReader, NamesTheFunctionsALibraryDefinesWithoutExportingThem) {
    const std::string hidden = kavrelo::testing::double_folder("student_hidden") + "/libZavlek.so";
    const auto facts = read_elf_file(hidden);
    ASSERT_TRUE(facts.has_value());
    EXPECT_THAT(facts->exports, ::testing::Not(::testing::Contains("parser_SLR")));
    EXPECT_THAT(facts->unexported_functions,
                ::testing::IsSupersetOf({"mPila", "tokeniza", "tokeniza2", "parser_SLR"}));
    const std::filesystem::path stripped = std::filesystem::temp_directory_path() /
                                           ("kavrelo-stripped-" + std::to_string(getpid()) + "-libZavlek.so");
    ASSERT_EQ(std::system(("strip -o " + stripped.string() + " " + hidden).c_str()), 0);
    const auto stripped_facts = read_elf_file(stripped);
    std::filesystem::remove(stripped);
    ASSERT_TRUE(stripped_facts.has_value());
    EXPECT_THAT(stripped_facts->unexported_functions, ::testing::IsEmpty());
}

// The loader needs no section headers, nor does the hint.
TEST(ElfReader, ALibraryWithoutSectionHeadersKeepsItsCppNameHint) {
    EXPECT_THAT(parser_reason(kavrelo::testing::kWithoutSectionHeaders), HasSubstr(kCppHint));
}

// Every symbol of this 1 MB library points at one name of 512 KiB: read
// once per symbol, it would take gigabytes.
TEST(ElfReader, SymbolsSharingOneLongNameLeaveTheMissingEntryPointNamed) {
    const AddressSpaceLimit limit;
    const std::string reason = parser_reason(kavrelo::testing::kSharedLongName);
    EXPECT_THAT(reason, HasSubstr("no tiene el punto de entrada parser_SLR"));
    EXPECT_THAT(reason, HasSubstr(kCppHint));
}
#endif

}  // namespace
}  // namespace kavrelo::binding
