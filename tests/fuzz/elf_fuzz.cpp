// SPDX-License-Identifier: MIT
// The ELF reader on any bytes: a library file is hostile, and reading its
// program headers, dynamic segment, hash tables and names must never read
// outside it, loop without end or keep without bound. The names found go
// through the near-miss search (demangling included) as the binding sends
// them. Seeded by scripts/test with the shared libraries of the default build.
#include <binding/elf_image.h>
#include <binding/near_miss.h>

#include <cstddef>
#include <cstdint>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto facts = kavrelo::binding::read_elf(std::span<const unsigned char>(data, size));
    if (facts) {
        for (const char* entry_point : {"mPila", "tokeniza", "tokeniza2", "parser_SLR"}) {
            (void)kavrelo::binding::near_miss(entry_point, facts->exports, facts->unexported_functions);
        }
    }
    return 0;
}
