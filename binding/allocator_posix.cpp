// SPDX-License-Identifier: MIT
// What the C allocator, which stands in for the system string allocator
// here, knows about a library string's block, and what the system knows of
// the memory around it: a hostile library's answer must be looked at without
// reading memory that is not there.
#include "library_string.h"

#include <dlfcn.h>
#include <malloc.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cstdint>

#if defined(__SANITIZE_ADDRESS__)
// AddressSanitizer's own allocator knows which blocks are its.
extern "C" int __sanitizer_get_ownership(const volatile void* pointer);
#endif

namespace kavrelo::binding {
namespace {

// Every block the allocator hands out is aligned at least this much.
constexpr std::uintptr_t kBlockAlignment = 8;

// Room before a block where the allocator keeps its own bookkeeping, which
// asking it about the block reads.
constexpr std::size_t kAllocatorHeader = 2 * sizeof(std::size_t);

// Whether the bytes can be read, asked of the system rather than tried.
bool readable(const void* at, std::size_t size) noexcept {
    unsigned char copy[64];
    if (size > sizeof copy) {
        return false;
    }
    iovec local{copy, size};
    iovec remote{const_cast<void*>(at), size};
    return process_vm_readv(getpid(), &local, 1, &remote, 1, 0) == static_cast<ssize_t>(size);
}

bool in_a_loaded_image(const void* at) noexcept {
    Dl_info info{};
    return dladdr(at, &info) != 0 && info.dli_fname != nullptr;
}

// AddressSanitizer's allocator says which blocks are its; asked about any
// other pointer, it would end the program.
bool owned_by_the_allocator(unsigned char* block) noexcept {
#if defined(__SANITIZE_ADDRESS__)
    return __sanitizer_get_ownership(block) != 0;
#else
    (void)block;
    return true;
#endif
}

}  // namespace

StringDefect defect_of(BSTR string, BSTR argument) noexcept {
    if (string == nullptr) {
        return StringDefect::none;
    }
    auto* block = reinterpret_cast<unsigned char*>(string) - kCountSize;
    if (reinterpret_cast<std::uintptr_t>(block) % kBlockAlignment != 0 || lies_within(block, argument) ||
        !readable(block - kAllocatorHeader, kAllocatorHeader + kCountSize) || in_a_loaded_image(block) ||
        !owned_by_the_allocator(block)) {
        return StringDefect::not_from_the_allocator;
    }
    const std::size_t usable = malloc_usable_size(block);
    const std::size_t count = SysStringByteLen(string);
    const bool fits = usable >= kCountSize + 1 && count <= usable - kCountSize - 1;
    return fits ? StringDefect::none : StringDefect::count_beyond_block;
}

}  // namespace kavrelo::binding
