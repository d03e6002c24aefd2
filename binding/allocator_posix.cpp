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
#include <cstdio>
#include <string_view>

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

// The main heap, which the allocator grows and shrinks by moving the program
// break: every byte from its start to the break of the moment is mapped, and
// no loaded image lies in it. Most answers are blocks there, and for them
// the system need not be asked (which costs far more than the call itself).
class MainHeap {
public:
    MainHeap() noexcept : start_(start_of_heap()) {}

    bool holds(const unsigned char* from, std::size_t size) const noexcept {
        const auto at = reinterpret_cast<std::uintptr_t>(from);
        const auto end = reinterpret_cast<std::uintptr_t>(sbrk(0));
        return start_ != 0 && at >= start_ && at < end && end - at >= size;
    }

private:
    // Where the system put the heap: the start of the mapping it names so.
    // Until there is one, the heap starts at the break of the moment.
    static std::uintptr_t start_of_heap() noexcept {
        std::uintptr_t start = reinterpret_cast<std::uintptr_t>(sbrk(0));
        std::FILE* maps = std::fopen("/proc/self/maps", "re");
        if (maps == nullptr) {
            return start;
        }
        char line[512];
        while (std::fgets(line, sizeof line, maps) != nullptr) {
            unsigned long from = 0;
            char name[16] = "";
            if (std::sscanf(line, "%lx-%*x %*s %*s %*s %*s %15s", &from, name) == 2 &&
                std::string_view(name) == "[heap]") {
                start = from;
                break;
            }
        }
        std::fclose(maps);
        return start;
    }

    std::uintptr_t start_;
};

bool in_a_loaded_image(const void* at) noexcept {
    Dl_info info{};
    return dladdr(at, &info) != 0 && info.dli_fname != nullptr;
}

bool in_the_main_heap(const unsigned char* from, std::size_t size) noexcept {
    static const MainHeap heap;
    return heap.holds(from, size);
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
        !(in_the_main_heap(block - kAllocatorHeader, kAllocatorHeader + kCountSize) ||
          (readable(block - kAllocatorHeader, kAllocatorHeader + kCountSize) && !in_a_loaded_image(block))) ||
        !owned_by_the_allocator(block)) {
        return StringDefect::not_from_the_allocator;
    }
    const std::size_t usable = malloc_usable_size(block);
    const std::size_t count = SysStringByteLen(string);
    const bool fits = usable >= kCountSize + 1 && count <= usable - kCountSize - 1;
    return fits ? StringDefect::none : StringDefect::count_beyond_block;
}

}  // namespace kavrelo::binding
