// SPDX-License-Identifier: MIT
// A submitted zip's unpacking on any bytes: whatever the zip holds, nothing
// may land outside the folder it is unpacked into, nor any link inside it,
// and the limits hold. Each input is unpacked into a fresh folder inside a
// temporary one that holds nothing else but the zip. Seeded by scripts/test
// with zips of every kind of entry.
#include "unpacking.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

// The temporary folder, removed when the run ends.
struct Root {
    Root() {
        std::string pattern = (fs::temp_directory_path() / "fuzz-unzip-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::abort();
        }
        path = pattern;
    }
    Root(const Root&) = delete;
    Root& operator=(const Root&) = delete;
    ~Root() { fs::remove_all(path); }
    fs::path path;
};

[[noreturn]] void escaped(const fs::path& path) {
    std::fprintf(stderr, "fuera de la carpeta o enlace: %s\n", path.c_str());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const Root temporary;
    const fs::path& root = temporary.path;
    const fs::path zip = root / "entrega.zip";
    const fs::path into = root / "into";
    fs::remove_all(into);
    fs::create_directory(into);
    std::ofstream(zip, std::ios::binary)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));

    const kavrelo::zavlek_call::UnpackLimits limits{.most_bytes = std::uint64_t{1} << 20, .most_entries = 64};
    (void)kavrelo::zavlek_call::unpack_zip(zip.string(), into.string(), limits);

    for (const auto& entry : fs::directory_iterator(root)) {
        if (entry.path() != zip && entry.path() != into) {
            escaped(entry.path());
        }
    }
    std::uintmax_t bytes = 0;
    for (const auto& entry : fs::recursive_directory_iterator(into)) {
        if (entry.is_symlink() || (entry.is_regular_file() && entry.hard_link_count() != 1)) {
            escaped(entry.path());
        }
        if (entry.is_regular_file()) {
            bytes += entry.file_size();
        }
    }
    if (bytes > limits.most_bytes) {
        std::fprintf(stderr, "%ju bytes descomprimidos\n", bytes);
        std::abort();
    }
    return 0;
}
