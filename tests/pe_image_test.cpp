// SPDX-License-Identifier: MIT
// The PE reader and the near-miss names, on every platform: a library file is
// read as a hostile one.
#include <binding/near_miss.h>
#include <binding/pe_image.h>
#include <binding/wording.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace kavrelo::binding {
namespace {

using ::testing::ElementsAre;

void put16(std::vector<unsigned char>& file, std::size_t at, std::uint16_t value) {
    file[at] = static_cast<unsigned char>(value);
    file[at + 1] = static_cast<unsigned char>(value >> 8);
}
void put32(std::vector<unsigned char>& file, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) file[at + i] = static_cast<unsigned char>(value >> (8 * i));
}
void put_text(std::vector<unsigned char>& file, std::size_t at, const char* text) {
    std::memcpy(file.data() + at, text, std::strlen(text) + 1);
}

// The smallest 32-bit library that exports _parser_SLR@4 and imports
// ayuda.dll: headers in the first 0x200 bytes, one section at RVA 0x1000
// from file offset 0x200.
constexpr std::size_t kExportNames = 0x200 + 24;
std::vector<unsigned char> small_library() {
    std::vector<unsigned char> file(0x400, 0);
    put16(file, 0, 0x5A4D);  // MZ
    put32(file, 0x3C, 0x40);
    put32(file, 0x40, 0x00004550);  // PE\0\0
    put16(file, 0x44, 0x14C);       // i386
    put16(file, 0x46, 1);           // one section
    put16(file, 0x54, 224);         // the optional header of PE32
    const std::size_t optional = 0x58;
    put16(file, optional, 0x10B);
    put32(file, optional + 60, 0x200);   // SizeOfHeaders
    put32(file, optional + 92, 16);      // NumberOfRvaAndSizes
    put32(file, optional + 96, 0x1000);  // export directory
    put32(file, optional + 100, 0x100);
    put32(file, optional + 104, 0x1100);  // import directory
    put32(file, optional + 108, 0x40);
    const std::size_t section = optional + 224;
    put32(file, section + 8, 0x1000);   // VirtualSize
    put32(file, section + 12, 0x1000);  // VirtualAddress
    put32(file, section + 16, 0x200);   // SizeOfRawData
    put32(file, section + 20, 0x200);   // PointerToRawData
    put32(file, kExportNames, 1);       // NumberOfNames
    put32(file, 0x200 + 32, 0x1040);    // AddressOfNames
    put32(file, 0x240, 0x1050);
    put_text(file, 0x250, "_parser_SLR@4");
    put32(file, 0x300, 0x1180);  // the import descriptor: lookup table, name, addresses
    put32(file, 0x300 + 12, 0x1160);
    put32(file, 0x300 + 16, 0x1180);
    put_text(file, 0x360, "ayuda.dll");
    return file;
}

TEST(PeReader, ReadsTheExportsAndImportsOfAWellFormedLibrary) {
    const auto facts = read_pe(small_library());
    ASSERT_TRUE(facts.has_value());
    EXPECT_EQ(facts->machine, 0x14C);
    EXPECT_FALSE(facts->truncated);
    EXPECT_THAT(facts->exports, ElementsAre("_parser_SLR@4"));
    EXPECT_THAT(facts->imports, ElementsAre("ayuda.dll"));
}

TEST(PeReader, AFileCutAnywhereIsNeverReadPastItsEnd) {
    const std::vector<unsigned char> whole = small_library();
    for (std::size_t size = 0; size < whole.size(); ++size) {
        const std::vector<unsigned char> cut(whole.begin(),
                                             whole.begin() + static_cast<std::ptrdiff_t>(size));
        const auto facts = read_pe(cut);
        if (size >= 0x200 && facts) {
            EXPECT_TRUE(facts->truncated) << size;
        }
        if (size < 0x44) {
            EXPECT_FALSE(facts.has_value()) << size;
        }
    }
}

TEST(PeReader, CountsAndOffsetsThatLieAreNotFollowed) {
    std::vector<unsigned char> file = small_library();
    put32(file, kExportNames, 0xFFFFFFFF);  // names without end
    put32(file, 0x200 + 32, 0xFFFFFFF0);    // and their table beyond any section
    const auto facts = read_pe(file);
    ASSERT_TRUE(facts.has_value());
    EXPECT_TRUE(facts->exports.empty());

    file = small_library();
    put32(file, 0x3C, 0xFFFFFFFC);  // the PE header beyond the file
    EXPECT_FALSE(read_pe(file).has_value());

    file = small_library();
    put32(file, 0x58 + 224 + 20, 0xFFFFFF00);  // the section's data beyond the file
    const auto cut_section = read_pe(file);
    ASSERT_TRUE(cut_section.has_value());
    EXPECT_TRUE(cut_section->truncated);
    EXPECT_TRUE(cut_section->exports.empty());

    file = small_library();
    std::memset(file.data() + 0x250, 'x', 0x1B0);  // a name with no end in the file
    EXPECT_TRUE(read_pe(file)->exports.empty());
}

TEST(NearMiss, FindsTheDecoratedNamesOfEachConvention) {
    using Kind = NearMiss::Kind;
    const auto stdcall = near_miss("parser_SLR", {"other", "_parser_SLR@4"});
    ASSERT_TRUE(stdcall.has_value());
    EXPECT_EQ(stdcall->kind, Kind::stdcall_decorated);
    EXPECT_EQ(stdcall->exported, "_parser_SLR@4");
    EXPECT_EQ(near_miss("parser_SLR", {"parser_SLR@4"})->kind, Kind::stdcall_decorated);
    EXPECT_EQ(near_miss("parser_SLR", {"@parser_SLR@4"})->kind, Kind::fastcall_decorated);
    for (const char* unrelated : {"my_parser_SLR@4", "_parser_SLRx@4", "parser_SLR@", "parser_SLR@4x",
                                  "_Z13my_parser_SLRPc", "?my_parser_SLR@@YGPA_WPA_W@Z", "parser_slr@4"}) {
        EXPECT_FALSE(near_miss("parser_SLR", {unrelated}).has_value()) << unrelated;
    }
    EXPECT_FALSE(near_miss("parser_SLR", {}).has_value());
}

TEST(NearMiss, FindsCppNamesOfGccAndMsvc) {
    const auto gcc = near_miss("parser_SLR", {"_Z10parser_SLRPc"});
    ASSERT_TRUE(gcc.has_value());
    EXPECT_EQ(gcc->kind, NearMiss::Kind::cpp_mangled);
    EXPECT_EQ(gcc->readable, "parser_SLR(char*)");
    EXPECT_EQ(near_miss("parser_SLR", {"_Z10parser_SLRPw@4"})->readable, "parser_SLR(wchar_t*)");
    EXPECT_EQ(near_miss("parser_SLR", {"_ZN6zavlek10parser_SLREPc"})->readable, "zavlek::parser_SLR(char*)");
    const auto msvc = near_miss("parser_SLR", {"?parser_SLR@@YGPA_WPA_W@Z"});
    ASSERT_TRUE(msvc.has_value());
    EXPECT_EQ(msvc->kind, NearMiss::Kind::cpp_mangled);
    EXPECT_EQ(msvc->exported, "?parser_SLR@@YGPA_WPA_W@Z");
    // A decorated name is the nearer miss.
    EXPECT_EQ(near_miss("parser_SLR", {"_Z10parser_SLRPc", "_parser_SLR@4"})->kind,
              NearMiss::Kind::stdcall_decorated);
}

TEST(NearMiss, IsSaidInSpanishWithItsCure) {
    EXPECT_EQ(near_miss_words(*near_miss("parser_SLR", {"_parser_SLR@4"})),
              "exporta «_parser_SLR@4» (nombre decorado de «__stdcall»); expórtelo sin decorar con un "
              "archivo .def o "
              "con -Wl,--kill-at");
    EXPECT_EQ(near_miss_words(*near_miss("parser_SLR", {"_Z10parser_SLRPc"})),
              "exporta «parser_SLR(char*)» («_Z10parser_SLRPc») con nombre de C++; declárelo «extern \"C\"»");
    EXPECT_EQ(
        near_miss_words(*near_miss("mPila", {"@mPila@0"})),
        "exporta «@mPila@0» (nombre decorado de «__fastcall»); declárelo «__stdcall» y expórtelo sin decorar "
        "con un archivo .def o con -Wl,--kill-at");
}

}  // namespace
}  // namespace kavrelo::binding
