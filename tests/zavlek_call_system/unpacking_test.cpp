// SPDX-License-Identifier: MIT
// Submitted zips unpacked as hostile: zips written by libarchive's own writer
// (and bytes changed after, where a header has to lie), unpacked into a
// folder inside a temporary one that holds nothing else but the zip, so that
// whatever lands outside the folder shows.
#include "unpacking.h"

#include <archive.h>
#include <archive_entry.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using kavrelo::zavlek_call::unpack_zip;
using kavrelo::zavlek_call::UnpackLimits;

struct ZipEntry {
    std::string name;
    std::string content = {};  // a file's bytes
    unsigned type = AE_IFREG;
    std::string symlink = {};   // a symbolic link's target
    std::string hardlink = {};  // a hard link's target
    unsigned perm = 0644;
};

// Names are written as UTF-8 with the zip's UTF-8 flag, as current tools do,
// or (utf8_flag false) as their bytes alone, as older ones do.
void write_zip(const fs::path& path, const std::vector<ZipEntry>& entries, bool utf8_flag = true) {
    archive* writer = archive_write_new();
    ASSERT_EQ(archive_write_set_format_zip(writer), ARCHIVE_OK);
    if (utf8_flag) {
        ASSERT_EQ(archive_write_set_options(writer, "hdrcharset=UTF-8"), ARCHIVE_OK);
    }
    ASSERT_EQ(archive_write_open_filename(writer, path.c_str()), ARCHIVE_OK);
    for (const ZipEntry& zip_entry : entries) {
        archive_entry* entry = archive_entry_new();
        if (utf8_flag) {
            archive_entry_set_pathname_utf8(entry, zip_entry.name.c_str());
        } else {
            archive_entry_set_pathname(entry, zip_entry.name.c_str());
        }
        archive_entry_set_filetype(entry, zip_entry.type);
        archive_entry_set_perm(entry, zip_entry.perm);
        archive_entry_set_size(entry, static_cast<la_int64_t>(zip_entry.content.size()));
        if (!zip_entry.symlink.empty()) {
            archive_entry_set_symlink(entry, zip_entry.symlink.c_str());
        }
        if (!zip_entry.hardlink.empty()) {
            archive_entry_set_hardlink(entry, zip_entry.hardlink.c_str());
        }
        EXPECT_EQ(archive_write_header(writer, entry), ARCHIVE_OK) << archive_error_string(writer);
        if (!zip_entry.content.empty()) {
            EXPECT_EQ(archive_write_data(writer, zip_entry.content.data(), zip_entry.content.size()),
                      static_cast<la_ssize_t>(zip_entry.content.size()));
        }
        archive_entry_free(entry);
    }
    EXPECT_EQ(archive_write_close(writer), ARCHIVE_OK);
    archive_write_free(writer);
}

std::string read_bytes(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

void write_bytes(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// Every path under a folder, relative to it.
std::set<std::string> tree(const fs::path& folder) {
    std::set<std::string> paths;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        paths.insert(fs::relative(entry.path(), folder).string());
    }
    return paths;
}

std::set<std::string> names_in(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

class UnpackZip : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "unpack-zip-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        zip_ = root_ / "entrega.zip";
        into_ = root_ / "into";
        fs::create_directory(into_);
        working_folder_ = fs::current_path();
    }
    void TearDown() override { fs::remove_all(root_); }

    std::optional<std::string> unpack(const UnpackLimits& limits = {}) {
        auto reason = unpack_zip(zip_.string(), into_.string(), limits);
        EXPECT_EQ(fs::current_path(), working_folder_);
        return reason;
    }

    // Refused for the reason given, with nothing written outside `into`.
    void expect_refused(const UnpackLimits& limits, const std::string& reason) {
        EXPECT_EQ(unpack(limits), reason);
        EXPECT_EQ(names_in(root_), (std::set<std::string>{"entrega.zip", "into"}));
        for (const auto& entry : fs::recursive_directory_iterator(into_)) {
            EXPECT_FALSE(entry.is_symlink()) << entry.path();
        }
    }
    void expect_refused(const std::string& reason) { expect_refused({}, reason); }

    fs::path root_;
    fs::path zip_;
    fs::path into_;
    fs::path working_folder_;
};

TEST_F(UnpackZip, PutsNestedFilesWhereTheZipSaysWithTheirBytes) {
    std::string binary(70000, '\0');
    for (std::size_t i = 0; i < binary.size(); ++i) {
        binary[i] = static_cast<char>((i * 7919) % 251);
    }
    write_zip(zip_, {{.name = "entrega/", .type = AE_IFDIR, .perm = 0755},
                     {.name = "entrega/libtokeniza.so", .content = binary},
                     {.name = "entrega/src/deep/er/parser.cpp", .content = "int main() {}\n"},
                     {.name = "LEEME.txt", .content = "hola\r\n"}});
    EXPECT_EQ(unpack(), std::nullopt);
    EXPECT_EQ(tree(into_), (std::set<std::string>{"LEEME.txt", "entrega", "entrega/libtokeniza.so",
                                                  "entrega/src", "entrega/src/deep", "entrega/src/deep/er",
                                                  "entrega/src/deep/er/parser.cpp"}));
    EXPECT_EQ(read_bytes(into_ / "entrega/libtokeniza.so"), binary);
    EXPECT_EQ(read_bytes(into_ / "entrega/src/deep/er/parser.cpp"), "int main() {}\n");
    EXPECT_EQ(read_bytes(into_ / "LEEME.txt"), "hola\r\n");
}

TEST_F(UnpackZip, GivesFilesOrdinaryPermissionsWhateverTheZipSays) {
    write_zip(zip_, {{.name = "setuid", .content = "x", .perm = 06777},
                     {.name = "bin/", .type = AE_IFDIR, .perm = 07777}});
    EXPECT_EQ(unpack(), std::nullopt);
    struct stat file {};
    ASSERT_EQ(::stat((into_ / "setuid").c_str(), &file), 0);
    EXPECT_EQ(file.st_mode & (S_ISUID | S_ISGID | S_ISVTX | S_IXUSR | S_IXGRP | S_IXOTH | S_IWGRP | S_IWOTH),
              0u);
    struct stat folder {};
    ASSERT_EQ(::stat((into_ / "bin").c_str(), &folder), 0);
    EXPECT_EQ(folder.st_mode & (S_ISUID | S_ISGID | S_ISVTX | S_IWGRP | S_IWOTH), 0u);
}

TEST_F(UnpackZip, ReadsNamesWithAccentsWithOrWithoutTheUtf8Flag) {
    for (const bool utf8_flag : {true, false}) {
        fs::remove_all(into_);
        fs::create_directory(into_);
        write_zip(zip_, {{.name = "ñandú/canción.txt", .content = "á"}}, utf8_flag);
        EXPECT_EQ(unpack(), std::nullopt) << utf8_flag;
        EXPECT_EQ(read_bytes(into_ / "ñandú" / "canción.txt"), "á") << utf8_flag;
    }
}

TEST_F(UnpackZip, AcceptsAnEmptyZipAndUnpacksNothing) {
    write_zip(zip_, {});
    EXPECT_EQ(unpack(), std::nullopt);
    EXPECT_TRUE(fs::is_empty(into_));
}

TEST_F(UnpackZip, RefusesPathsThatLeaveItsFolder) {
    for (const std::string name : {"../escape.so", "a/../../x", "ok/../../../escape.so", "a/.."}) {
        fs::remove_all(into_);
        fs::create_directory(into_);
        write_zip(zip_, {{.name = "ok.txt", .content = "x"}, {.name = name, .content = "fuera"}});
        expect_refused("el zip tiene una ruta que sale de su carpeta: " + name);
    }
}

TEST_F(UnpackZip, RefusesAbsolutePaths) {
    // Where the test could see it, had it been written.
    const std::string name = (root_ / "escape.so").string();
    write_zip(zip_, {{.name = name, .content = "fuera"}});
    expect_refused("el zip tiene una ruta absoluta: " + name);
}

TEST_F(UnpackZip, RefusesSymbolicLinksWhereverTheyPoint) {
    for (const std::string target : {"/etc/passwd", "vecino.txt", "."}) {
        fs::remove_all(into_);
        fs::create_directory(into_);
        write_zip(zip_, {{.name = "vecino.txt", .content = "x"},
                         {.name = "enlace", .type = AE_IFLNK, .symlink = target, .perm = 0777}});
        expect_refused("el zip tiene un enlace simbólico: enlace");
        EXPECT_FALSE(fs::is_symlink(into_ / "enlace")) << target;
    }
}

// A zip has no hard links: a writer that is given one writes an empty file,
// which must land as a file of its own, never as a second name of another.
TEST_F(UnpackZip, NeverMakesAHardLink) {
    write_zip(zip_, {{.name = "vecino.txt", .content = "x"},
                     {.name = "duro", .hardlink = "vecino.txt"},
                     {.name = "contraseñas", .hardlink = "/etc/passwd"}});
    EXPECT_EQ(unpack(), std::nullopt);
    for (const char* name : {"vecino.txt", "duro", "contraseñas"}) {
        EXPECT_EQ(fs::hard_link_count(into_ / name), 1u) << name;
    }
    EXPECT_EQ(read_bytes(into_ / "vecino.txt"), "x");
}

TEST_F(UnpackZip, StopsAtTheLimitOfBytesWhateverTheHeadersSay) {
    // 10 MB of zeros in a zip of some kilobytes: a bomb, against 1 MB.
    const UnpackLimits limits{.most_bytes = std::uint64_t{1} << 20};
    write_zip(zip_, {{.name = "bomba.so", .content = std::string(std::size_t{10} << 20, '\0')}});
    ASSERT_LT(fs::file_size(zip_), 100u << 10);
    expect_refused(limits, "el zip descomprimido pasa de 1 MB: bomba.so");
    EXPECT_LE(fs::file_size(into_ / "bomba.so"), limits.most_bytes);
}

TEST_F(UnpackZip, CountsTheLimitOfBytesOverAllFiles) {
    const UnpackLimits limits{.most_bytes = 1000000};
    write_zip(zip_, {{.name = "a", .content = std::string(400000, 'a')},
                     {.name = "b", .content = std::string(400000, 'b')},
                     {.name = "c", .content = std::string(400000, 'c')}});
    expect_refused(limits, "el zip descomprimido pasa de 1.000.000 bytes: c");
}

TEST_F(UnpackZip, DoesNotTrustAHeaderThatUnderstatesTheSize) {
    const UnpackLimits limits{.most_bytes = std::uint64_t{1} << 20};
    write_zip(zip_, {{.name = "miente.so", .content = std::string(std::size_t{10} << 20, '\0')}});
    // Every header's uncompressed size (the local one at 22, the central
    // directory's at 24) made to say 100 bytes.
    std::string bytes = read_bytes(zip_);
    auto set_size = [&](const std::string& signature, std::size_t offset) {
        for (auto at = bytes.find(signature); at != std::string::npos; at = bytes.find(signature, at + 1)) {
            bytes.replace(at + offset, 4, std::string("\x64\0\0\0", 4));
        }
    };
    set_size(std::string("PK\x03\x04", 4), 22);
    set_size(std::string("PK\x01\x02", 4), 24);
    write_bytes(zip_, bytes);
    const auto reason = unpack(limits);
    EXPECT_EQ(reason, "el zip descomprimido pasa de 1 MB: miente.so");
    EXPECT_EQ(names_in(root_), (std::set<std::string>{"entrega.zip", "into"}));
    EXPECT_LE(fs::file_size(into_ / "miente.so"), limits.most_bytes);
}

TEST_F(UnpackZip, RefusesMoreEntriesThanTheLimit) {
    std::vector<ZipEntry> entries;
    for (int i = 1; i <= 6; ++i) {
        entries.push_back({.name = "f" + std::to_string(i), .content = "x"});
    }
    write_zip(zip_, entries);
    expect_refused({.most_entries = 5}, "el zip tiene más de 5 entradas: f6");
}

TEST_F(UnpackZip, RefusesWhatIsNotAZip) {
    write_bytes(zip_,
                "Esto no es un zip, es un .so con otro nombre\x7f"
                "ELF\x02\x01\x01");
    expect_refused("el archivo no es un zip");
}

TEST_F(UnpackZip, RefusesAnEntryWhoseDataIsDamaged) {
    write_zip(zip_, {{.name = "dañado.so", .content = std::string(5000, 'z') + "fin"}});
    std::string bytes = read_bytes(zip_);
    // The compressed data, right after the local header and its name.
    const std::size_t data = 30 + std::string("dañado.so").size() + static_cast<unsigned char>(bytes[28]) +
                             static_cast<unsigned char>(bytes[29]) * 256u;
    bytes[data + 2] = static_cast<char>(bytes[data + 2] ^ 0x55);
    write_bytes(zip_, bytes);
    expect_refused("el zip está dañado en: dañado.so");
}

TEST_F(UnpackZip, RefusesAFileInsideAnotherFile) {
    write_zip(zip_, {{.name = "a", .content = "x"}, {.name = "a/b", .content = "y"}});
    expect_refused("el zip tiene una entrada que no se puede escribir: a/b");
}

TEST_F(UnpackZip, RefusesANameThatIsNotUtf8ShowingItsBytes) {
    // "ñ" in the code page of old Windows zips, without the UTF-8 flag.
    write_zip(zip_, {{.name = "a\xa4o.txt", .content = "x"}}, false);
    expect_refused("el zip tiene un nombre que no está en UTF-8: a\\xA4o.txt");
}

}  // namespace
