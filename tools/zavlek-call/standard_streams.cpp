// SPDX-License-Identifier: MIT
#include "platform.h"

#include <text/utf8.h>

#include <algorithm>
#include <cstdio>
#include <utility>

namespace kavrelo::zavlek_call {

std::optional<ReadBytes> read_at_most(std::FILE* stream, std::size_t most) {
    std::string bytes;
    char buffer[65536];
    std::size_t got = 0;
    while (bytes.size() < most &&
           (got = std::fread(buffer, 1, std::min(sizeof buffer, most - bytes.size()), stream)) > 0) {
        if (bytes.capacity() - bytes.size() < got) {
            // Twice as large, as a string grows, but never past `most`: a text
            // at the limit takes no block larger than the limit, which a
            // 32-bit process may not have. (reserve on a string of its own,
            // since reserve on a full one may double past what it is asked.)
            std::string larger;
            larger.reserve(std::min(std::max(2 * bytes.capacity(), bytes.size() + got), most));
            larger.append(bytes);
            bytes.swap(larger);
        }
        bytes.append(buffer, got);
    }
    const bool more = bytes.size() == most && std::fgetc(stream) != EOF;
    if (std::ferror(stream)) {
        return std::nullopt;
    }
    return ReadBytes{std::move(bytes), more};
}

void write_standard_output(std::string_view bytes) {
    if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size() || std::fflush(stdout) != 0) {
        throw OutputNotWritten{};
    }
}

void tell(std::string_view text) {
    write_standard_error("zavlek-call: " + text::with_visible_controls(text) + "\n");
}

}  // namespace kavrelo::zavlek_call
