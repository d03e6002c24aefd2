// SPDX-License-Identifier: MIT
// What a Windows library file says about itself, read from its bytes as a
// hostile file: every offset and count is checked against the file before it
// is followed, and a file that lies gets no further than its first lie. Used
// to name near-miss exports and missing dependencies; the loader decides
// everything else. Plain C++, so that it is fuzzed on every platform.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kavrelo::binding {

struct PeFacts {
    std::uint16_t machine = 0;  // IMAGE_FILE_MACHINE_*
    // Some part the headers promise lies beyond the end of the file.
    bool truncated = false;
    // The names in the export directory, in its order.
    std::vector<std::string> exports;
    // The libraries of the import directory (not the delay-loaded ones), in
    // its order, as written.
    std::vector<std::string> imports;
};

// Nothing when the bytes are no PE image at all (no MZ and PE signatures, or
// headers cut short). Directories that cannot be read are left empty.
std::optional<PeFacts> read_pe(std::span<const unsigned char> file);

// The same for a file on disk, of at most max_bytes (the headers are read
// all the same from a larger one, and it counts as truncated); nothing when
// it cannot be read.
std::optional<PeFacts> read_pe_file(const std::filesystem::path& path,
                                    std::size_t max_bytes = std::size_t{64} << 20);

}  // namespace kavrelo::binding
