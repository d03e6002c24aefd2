// SPDX-License-Identifier: MIT
// Paths to and from the UTF-8 the program speaks everywhere, whatever the
// system's own encoding of file names (UTF-16 on Windows).
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace kavrelo::zavlek_call {

inline std::filesystem::path path_of(std::string_view utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

inline std::string utf8_of(const std::filesystem::path& path) {
    const std::u8string bytes = path.u8string();
    return {bytes.begin(), bytes.end()};
}

}  // namespace kavrelo::zavlek_call
