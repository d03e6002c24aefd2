// SPDX-License-Identifier: MIT
// What a shared library file (ELF) says about itself, read from its bytes as
// a hostile file and the way the dynamic loader reads it: through the program
// headers and the dynamic segment; the section headers, which the loader
// does not need and a library may lack, only for what the loader never
// sees (the functions left unexported). Every address is mapped to
// the file through the loadable segments and every offset and count checked
// before it is followed. Used to name near-miss exports; the loader decides
// everything else. Plain C++, so that it is fuzzed on every platform.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kavrelo::binding {

struct ElfFacts {
    // The names the dynamic symbol table defines, in its order, each name
    // once; names too long for any real library are left out, and so is
    // everything past the reader's limits on their count and bytes.
    std::vector<std::string> exports;
    // The functions it defines without exporting them (local, or hidden by
    // visibility), from the static symbol table, which only a file that was
    // not stripped has: found through the section headers. Under the same
    // limits as the exports.
    std::vector<std::string> unexported_functions;
};

// Nothing when the bytes are no ELF file of either class or byte order.
// Tables that cannot be read are left empty.
std::optional<ElfFacts> read_elf(std::span<const unsigned char> file);

// The same for a file on disk, of which at most max_bytes are read; nothing
// when it cannot be read.
std::optional<ElfFacts> read_elf_file(const std::filesystem::path& path,
                                      std::size_t max_bytes = std::size_t{64} << 20);

}  // namespace kavrelo::binding
