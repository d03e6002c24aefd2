// SPDX-License-Identifier: MIT
// What the C allocator, which stands in for the system string allocator
// here, knows about a library string's block, and what the system knows of
// the memory around it: a hostile library's answer must be looked at without
// reading memory that is not there, and only a block the allocator handed
// out may be given back to it.
//
// The allocator keeps two words in front of every block: the size of the
// block before it (when that one is free, or the offset into its mapping for
// a block mapped on its own) and its own size with three flags in the low
// bits. Asking the allocator about a pointer that is no block of its own
// makes it read wherever those words send it, and freeing one ends the
// program; so the words are read here first, and followed only where they
// lead to memory that is there.
#include "library_string.h"

#include <dlfcn.h>
#include <malloc.h>
#include <pthread.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <initializer_list>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string_view>

// AddressSanitizer's own allocator knows which blocks are its; there only.
extern "C" int __sanitizer_get_ownership(const volatile void* pointer) __attribute__((weak));

namespace kavrelo::binding {
namespace {

constexpr bool kAddressSanitizer =
#if defined(__SANITIZE_ADDRESS__)
    true;
#else
    false;
#endif

constexpr std::size_t kWord = sizeof(std::size_t);

// Every block the allocator hands out is aligned at least this much.
constexpr std::uintptr_t kBlockAlignment = 2 * kWord;

// The words in front of a block.
struct ChunkHeader {
    std::size_t size_before = 0;
    std::size_t size_and_flags = 0;

    static constexpr std::size_t kBeforeInUse = 1;
    static constexpr std::size_t kMappedAlone = 2;
    static constexpr std::size_t kOtherArena = 4;

    std::size_t size() const noexcept { return size_and_flags & ~std::size_t{7}; }
    bool has(std::size_t flag) const noexcept { return (size_and_flags & flag) != 0; }
};
constexpr std::size_t kHeaderSize = sizeof(ChunkHeader);
// The smallest block: its header and two links. The largest: half the
// address space, which no block reaches.
constexpr std::size_t kSmallestChunk = 4 * kWord;
constexpr std::size_t kLargestChunk = SIZE_MAX / 2;

// The arenas of other threads live in heaps of this size at most, each
// aligned to it and starting with its description.
constexpr std::uintptr_t kArenaHeapSize =
    2 * (sizeof(long) == 8 ? 4 * 1024 * 1024 * sizeof(long) : 512 * 1024);
struct ArenaHeap {
    void* arena;
    void* previous;
    std::size_t size;
    std::size_t protected_size;
};

// Copies bytes out of the process, asked of the system rather than tried:
// false where any of them cannot be read.
bool copy_out(std::uintptr_t at, void* into, std::size_t size) noexcept {
    iovec local{into, size};
    iovec remote{reinterpret_cast<void*>(at), size};
    return process_vm_readv(getpid(), &local, 1, &remote, 1, 0) == static_cast<ssize_t>(size);
}

bool readable(std::uintptr_t at, std::size_t size) noexcept {
    unsigned char copy[64];
    return size <= sizeof copy && copy_out(at, copy, size);
}

// Whether every byte of [from, from + size) lies in mappings that can be
// read, as the system lists them; for the rare block mapped on its own.
bool mapped_readable(std::uintptr_t from, std::size_t size) noexcept {
    std::FILE* maps = std::fopen("/proc/self/maps", "re");
    if (maps == nullptr) {
        return false;
    }
    std::uintptr_t covered = from;
    const std::uintptr_t end = from + size;
    char line[512];
    while (covered < end && std::fgets(line, sizeof line, maps) != nullptr) {
        unsigned long low = 0;
        unsigned long high = 0;
        char access[5] = "";
        if (std::sscanf(line, "%lx-%lx %4s", &low, &high, access) == 3 && low <= covered && covered < high) {
            if (access[0] != 'r') {
                break;
            }
            covered = high;
        }
    }
    std::fclose(maps);
    return covered >= end;
}

// The main heap, which the allocator grows and shrinks by moving the program
// break: every byte from its start to the break of the moment is mapped, and
// no loaded image lies in it. Most answers are blocks there, and for them
// the system need not be asked (which costs far more than the call itself).
// HeapSpan is the heap as it stands at one moment, read once for each answer.
struct HeapSpan {
    std::uintptr_t start = 0;
    std::uintptr_t end = 0;

    bool holds(std::uintptr_t at, std::size_t size) const noexcept {
        return start != 0 && at >= start && at < end && end - at >= size;
    }
};

class MainHeap {
public:
    MainHeap() noexcept : start_(start_of_heap()) {}

    HeapSpan now() const noexcept { return {start_, reinterpret_cast<std::uintptr_t>(sbrk(0))}; }

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

const MainHeap& main_heap() noexcept {
    static const MainHeap heap;
    return heap;
}

// The room a block in use offers, where the words in front of `block` are
// those of a block in use that the allocator handed out; nothing otherwise.
// A block in use is followed by one whose "before in use" flag is set.
std::optional<std::size_t> room_in_main_heap(const HeapSpan& heap, std::uintptr_t chunk,
                                             const ChunkHeader& header) noexcept {
    const std::size_t size = header.size();
    if (!heap.holds(chunk, size + kHeaderSize)) {
        return std::nullopt;
    }
    ChunkHeader next;
    std::memcpy(&next, reinterpret_cast<const void*>(chunk + size), sizeof next);
    return next.has(ChunkHeader::kBeforeInUse) ? std::optional(size - kWord) : std::nullopt;
}

std::optional<std::size_t> room_in_other_arena(std::uintptr_t chunk, const ChunkHeader& header) noexcept {
    const std::uintptr_t heap_start = chunk & ~(kArenaHeapSize - 1);
    ArenaHeap heap{};
    ChunkHeader next;
    const std::size_t size = header.size();
    if (!copy_out(heap_start, &heap, sizeof heap) || heap.arena == nullptr || heap.size > kArenaHeapSize ||
        chunk < heap_start + sizeof heap || chunk - heap_start + size + kHeaderSize > heap.size ||
        !copy_out(chunk + size, &next, sizeof next)) {
        return std::nullopt;
    }
    return next.has(ChunkHeader::kBeforeInUse) ? std::optional(size - kWord) : std::nullopt;
}

// A block mapped on its own starts its mapping, less the offset in front of
// it, and both the mapping's start and its length are whole pages.
std::optional<std::size_t> room_mapped_alone(std::uintptr_t chunk, const ChunkHeader& header) noexcept {
    const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    const std::uintptr_t start = chunk - header.size_before;
    const std::size_t length = header.size_before + header.size();
    const std::uintptr_t offset_in_page = (chunk + kHeaderSize) & (page - 1);
    if (header.size_before > chunk || length < header.size() || ((start | length) & (page - 1)) != 0 ||
        (offset_in_page & (offset_in_page - 1)) != 0 || !mapped_readable(start, length)) {
        return std::nullopt;
    }
    return header.size() - kHeaderSize;
}

bool in_a_loaded_image(std::uintptr_t at) noexcept {
    Dl_info info{};
    return dladdr(reinterpret_cast<const void*>(at), &info) != 0 && info.dli_fname != nullptr;
}

// The words in front of a block: read at once in the main heap, where they
// are certainly there; asked of the system elsewhere.
bool header_at(const HeapSpan& heap, std::uintptr_t chunk, ChunkHeader& header) noexcept {
    if (heap.holds(chunk, sizeof header)) {
        std::memcpy(&header, reinterpret_cast<const void*>(chunk), sizeof header);
        return true;
    }
    return copy_out(chunk, &header, sizeof header);
}

// The room of the C library's block that starts at `block`, read from the
// words in front of it.
std::optional<std::size_t> room_of_the_c_librarys_block(std::uintptr_t block) noexcept {
    const std::uintptr_t chunk = block - kHeaderSize;
    const HeapSpan heap = main_heap().now();
    ChunkHeader header;
    if (block < kHeaderSize || !header_at(heap, chunk, header) || header.size() < kSmallestChunk ||
        header.size() % kBlockAlignment != 0 || header.size() > kLargestChunk) {
        return std::nullopt;
    }
    if (header.has(ChunkHeader::kOtherArena | ChunkHeader::kMappedAlone) && in_a_loaded_image(chunk)) {
        return std::nullopt;  // a constant, whatever the words in front of it say
    }
    if (header.has(ChunkHeader::kMappedAlone)) {
        return room_mapped_alone(chunk, header);
    }
    return header.has(ChunkHeader::kOtherArena) ? room_in_other_arena(chunk, header)
                                                : room_in_main_heap(heap, chunk, header);
}

// Which allocator hands out the blocks, and so how its blocks are known.
enum class Allocator {
    the_c_librarys,       // its words in front of each block are read here
    address_sanitizers,   // it says which blocks are its
    another_standing_in,  // a memory checker or another allocator put in front: asked
};

// Whether the words in front of two fresh blocks say what the C library's
// say of blocks of their sizes: at least the size asked for with one word
// more, rounded up, and less than a smallest block more (what would be left
// of a free block too small to keep is given along), from the main arena or,
// freed here by another thread, from that thread's. A memory checker that
// stands in for the C library keeps words of its own there.
bool blocks_read_as_the_c_librarys() noexcept {
    for (const std::size_t request : {std::size_t{24}, std::size_t{200}}) {
        void* const block = std::malloc(request);
        const std::size_t least = (request + kWord + kBlockAlignment - 1) / kBlockAlignment * kBlockAlignment;
        ChunkHeader header;
        const bool as_expected =
            block != nullptr &&
            copy_out(reinterpret_cast<std::uintptr_t>(block) - kHeaderSize, &header, sizeof header) &&
            header.size() >= least && header.size() < least + kSmallestChunk &&
            !header.has(ChunkHeader::kMappedAlone);
        std::free(block);
        if (!as_expected) {
            return false;
        }
    }
    return true;
}

Allocator allocator_in_use() noexcept {
    if constexpr (kAddressSanitizer) {
        return Allocator::address_sanitizers;
    }
    return blocks_read_as_the_c_librarys() ? Allocator::the_c_librarys : Allocator::another_standing_in;
}

// The room of the allocator's block that starts at `block`; nothing where no
// block in use of the allocator's starts there.
std::optional<std::size_t> room_of_block(std::uintptr_t block) noexcept {
    static const Allocator allocator = allocator_in_use();
    void* const pointer = reinterpret_cast<void*>(block);
    switch (allocator) {
        case Allocator::the_c_librarys:
            return room_of_the_c_librarys_block(block);
        case Allocator::address_sanitizers:
            // Asked about any other pointer, it would end the program.
            if (__sanitizer_get_ownership(pointer) == 0) {
                return std::nullopt;
            }
            break;
        case Allocator::another_standing_in:
            // One that stands in knows its own blocks and says 0 of others.
            if (!readable(block - kHeaderSize, kHeaderSize + kCountSize) || in_a_loaded_image(block)) {
                return std::nullopt;
            }
            break;
    }
    const std::size_t room = malloc_usable_size(pointer);
    return room != 0 ? std::optional(room) : std::nullopt;
}

// The dynamic loader takes each module's copy of its thread-local variables
// from the allocator, as a block of its own, and lists them in the thread's
// vector of such blocks, which the thread pointer leads to: an answer there
// is a block of the allocator's, but the loader's, not the library's to give.
bool a_thread_local_block(std::uintptr_t block) noexcept {
    const std::uintptr_t* vector = nullptr;
#if defined(__x86_64__)
    __asm__("mov %%fs:8, %0" : "=r"(vector));
#elif defined(__i386__)
    __asm__("mov %%gs:4, %0" : "=r"(vector));
#endif
    if (vector == nullptr) {
        return false;
    }
    // Each entry is the block's address and the address to free it by; the
    // entry before the first holds how many there are; the first, a count of
    // the loader's own. Only the address to free it by is ever a block's
    // start: the block's address is that one, or lies within the block when
    // the module asks for more alignment than the allocator gives, or lies
    // in the thread's static storage, which is no block of the allocator's.
    constexpr std::size_t kMostModules = 4096;
    const std::size_t length = std::min<std::size_t>(vector[-2], kMostModules);
    // 1 where the entry's address to free is the block, as a number: four
    // entries a test, with no branch between them (every answer is looked
    // for here).
    const auto frees = [&](std::size_t module) {
        return static_cast<unsigned>(vector[2 * module + 1] == block);
    };
    std::size_t module = 1;
    for (; module + 3 <= length; module += 4) {
        if ((frees(module) | frees(module + 1) | frees(module + 2) | frees(module + 3)) != 0) {
            return true;
        }
    }
    for (; module <= length; ++module) {
        if (frees(module) != 0) {
            return true;
        }
    }
    return false;
}

bool on_this_threads_stack(std::uintptr_t at) noexcept {
    pthread_attr_t attributes;
    if (pthread_getattr_np(pthread_self(), &attributes) != 0) {
        return false;
    }
    void* low = nullptr;
    std::size_t size = 0;
    const bool known = pthread_attr_getstack(&attributes, &low, &size) == 0;
    pthread_attr_destroy(&attributes);
    const auto from = reinterpret_cast<std::uintptr_t>(low);
    return known && at >= from && at - from < size;
}

}  // namespace

StringDefect defect_of(BSTR string, BSTR argument) noexcept {
    if (string == nullptr) {
        return StringDefect::none;
    }
    const auto block = reinterpret_cast<std::uintptr_t>(string) - kCountSize;
    const std::optional<std::size_t> room =
        block % kBlockAlignment != 0 || lies_within(reinterpret_cast<const unsigned char*>(block), argument)
            ? std::nullopt
            : room_of_block(block);
    if (!room || a_thread_local_block(block)) {
        return StringDefect::not_from_the_allocator;
    }
    const std::size_t count = SysStringByteLen(string);
    const bool fits = *room >= kCountSize + 1 && count <= *room - kCountSize - 1;
    return fits ? StringDefect::none : StringDefect::count_beyond_block;
}

AnswerPlace place_of(BSTR string) noexcept {
    const auto block = reinterpret_cast<std::uintptr_t>(string) - kCountSize;
    if (!readable(block, kCountSize)) {
        return AnswerPlace::unreadable;
    }
    if (in_a_loaded_image(block)) {
        return AnswerPlace::loaded_image;
    }
    return on_this_threads_stack(block) ? AnswerPlace::stack : AnswerPlace::elsewhere;
}

}  // namespace kavrelo::binding
