#include "platform.h"

#include <cstdio>

namespace kavrelo::zavlek_call {

std::string read_standard_input() {
    std::string bytes;
    char buffer[65536];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, stdin)) > 0) {
        bytes.append(buffer, got);
    }
    return bytes;
}

void write_standard_output(std::string_view bytes) {
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
    std::fflush(stdout);
}

}  // namespace kavrelo::zavlek_call
