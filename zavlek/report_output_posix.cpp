// SPDX-License-Identifier: MIT
#include "report_output.h"

#include <cstdio>

namespace zavlek {

void write_report_text(std::string_view text) noexcept {
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

}  // namespace zavlek
