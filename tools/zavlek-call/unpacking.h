// SPDX-License-Identifier: MIT
// A submission's zip unpacked into a folder of its own. The zip is read as
// hostile: nothing lands outside that folder (no path with "..", no absolute
// path, no link of any kind), and the unpacked bytes and entries are counted
// as they are written, against limits, whatever the zip's headers declare.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace kavrelo::zavlek_call {

struct UnpackLimits {
    std::uint64_t most_bytes = std::uint64_t{256} << 20;  // unpacked, in all
    std::size_t most_entries = 10000;
};

// Unpacks a zip into `into` (an existing, empty folder); nullopt when done, or
// why not, in Spanish, as the submission's reason to be ungradable (e.g. "el
// zip tiene una ruta que sale de su carpeta: ../x.so"). Nothing is ever
// written outside `into`; after a refusal `into` may hold part of the zip, for
// the caller to remove. Files get ordinary permissions (0644, folders 0755).
// Paths are UTF-8. Throws std::system_error when the fault is the machine's
// rather than the zip's: the zip cannot be opened, `into` cannot be entered,
// the disk is full or cannot be written.
// On POSIX the working folder is `into` while it works (libarchive's checks
// are of the names as the zip gives them): no other thread may use relative
// paths meanwhile.
std::optional<std::string> unpack_zip(const std::string& zip, const std::string& into,
                                      const UnpackLimits& limits = {});

}  // namespace kavrelo::zavlek_call
