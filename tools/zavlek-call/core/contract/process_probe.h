// SPDX-License-Identifier: MIT
// What the contract checks ask of the process they run in, given by the
// program (one platform file per system).
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace kavrelo::zavlek_call {

class ProcessProbe {
public:
    virtual ~ProcessProbe() = default;

    // The bytes the allocators of library strings and of the library's own
    // memory have handed out and not had back: the C allocator's here
    // (AddressSanitizer's under it); on Windows the busy blocks of every heap
    // of the process, the process heap where oleaut32 takes strings (its
    // cache of freed strings turned off in our children, which would hold
    // them) and a C runtime's own.
    virtual std::size_t allocated_bytes() const = 0;

    // The file of the loaded program or library whose image holds the
    // address (a string constant, say), if any does.
    virtual std::optional<std::string> image_holding(const void* address) const = 0;
};

}  // namespace kavrelo::zavlek_call
