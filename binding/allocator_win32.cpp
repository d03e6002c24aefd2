// SPDX-License-Identifier: MIT
// oleaut32 offers no way to ask how large a string's block is. Its strings
// are blocks of the process heap, which can say, without a question to the
// system, whether an address starts one of its live blocks and how large
// that block is: an answer that starts none is no string of its. Only where
// strings turn out not to be the heap's blocks is an answer looked at
// through the memory around it, which the system describes: which pages can
// be read and which belong to a loaded image (a question that costs far more
// than the call itself).
#include "library_string.h"

#include <windows.h>

#include <cstdint>
#include <initializer_list>
#include <optional>

namespace kavrelo::binding {
namespace {

// Where a string's heap block starts, before its bytes: its count, and on
// 64-bit systems padding before that. Learnt once from a string of our own,
// so that no layout of the allocator's is assumed.
class ProcessHeap {
public:
    ProcessHeap() noexcept : heap_(GetProcessHeap()), offset_(offset_of_strings()) {}

    // How many bytes the live block that a string at `bytes` would be holds
    // from `bytes` on; nothing when no block of the heap starts there (or
    // strings are not the heap's blocks at all). HeapValidate takes any
    // address: it reads the heap's own records, never the address.
    std::optional<std::size_t> room_after(const unsigned char* bytes) const noexcept {
        const auto at = reinterpret_cast<std::uintptr_t>(bytes);
        if (!holds_strings() || at < offset_) {
            return std::nullopt;
        }
        const auto* block = reinterpret_cast<const void*>(at - offset_);
        if (!HeapValidate(heap_, 0, block)) {
            return std::nullopt;
        }
        const SIZE_T size = HeapSize(heap_, 0, block);
        if (size == static_cast<SIZE_T>(-1)) {
            return std::nullopt;
        }
        return size > offset_ ? size - offset_ : 0;
    }

    // Whether strings were found to be its blocks: then an answer that
    // starts none of them is no string of the allocator's, whatever memory
    // it lies in (the middle of a block, a mapping, thread-local storage).
    bool holds_strings() const noexcept { return offset_ != 0; }

private:
    std::size_t offset_of_strings() const noexcept {
        const LibraryString probe{SysAllocStringByteLen(nullptr, 1)};
        if (!probe) {
            return 0;
        }
        const auto at = reinterpret_cast<std::uintptr_t>(probe.get());
        for (const std::size_t offset : {kCountSize, 2 * kCountSize, 4 * kCountSize}) {
            if (HeapValidate(heap_, 0, reinterpret_cast<const void*>(at - offset))) {
                return offset;
            }
        }
        return 0;
    }

    HANDLE heap_;
    std::size_t offset_;
};

bool can_be_read(const MEMORY_BASIC_INFORMATION& region) noexcept {
    return region.State == MEM_COMMIT && (region.Protect & (PAGE_NOACCESS | PAGE_GUARD)) == 0 &&
           (region.Protect & (PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
                              PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY)) != 0;
}

// The region of pages the address lies in, as the system describes it;
// false where it describes none.
bool region_of(const unsigned char* at, MEMORY_BASIC_INFORMATION& region) noexcept {
    return VirtualQuery(at, &region, sizeof region) != 0;
}

const unsigned char* end_of(const MEMORY_BASIC_INFORMATION& region) noexcept {
    return static_cast<const unsigned char*>(region.BaseAddress) + region.RegionSize;
}

// Whether every byte from `from` to `end` can be read, the region that holds
// `from` being known already; region by region after that one.
bool readable_on(MEMORY_BASIC_INFORMATION region, const unsigned char* end) noexcept {
    while (end_of(region) < end) {
        if (!region_of(end_of(region), region) || !can_be_read(region)) {
            return false;
        }
    }
    return true;
}

}  // namespace

namespace {

// The calling thread's stack: a library's local variables, gone once it
// returns, however readable their pages stay.
bool on_this_threads_stack(const unsigned char* address) noexcept {
    ULONG_PTR low = 0;
    ULONG_PTR high = 0;
    GetCurrentThreadStackLimits(&low, &high);
    const auto at = reinterpret_cast<ULONG_PTR>(address);
    return at >= low && at < high;
}

}  // namespace

StringDefect defect_of(BSTR string, BSTR argument) noexcept {
    if (string == nullptr) {
        return StringDefect::none;
    }
    const auto* bytes = reinterpret_cast<const unsigned char*>(string);
    const unsigned char* block = bytes - kCountSize;
    if (lies_within(block, argument)) {
        return StringDefect::not_from_the_allocator;
    }
    static const ProcessHeap heap;
    if (const std::optional<std::size_t> room = heap.room_after(bytes)) {
        // The bytes and the NUL after them.
        const std::size_t count = SysStringByteLen(string);
        return *room >= 1 && count <= *room - 1 ? StringDefect::none : StringDefect::count_beyond_block;
    }
    if (heap.holds_strings()) {
        return StringDefect::not_from_the_allocator;
    }
    // Strings that are not the heap's blocks, as far as could be learnt: one
    // question to the system answers most whole: whether the count can be
    // read, whether it lies in a loaded image (a constant), and where the
    // pages that can be read end.
    MEMORY_BASIC_INFORMATION region{};
    if (!region_of(block, region) || !can_be_read(region) || region.Type == MEM_IMAGE ||
        !readable_on(region, bytes) || on_this_threads_stack(block)) {
        return StringDefect::not_from_the_allocator;
    }
    // The bytes and the NUL after them.
    const std::size_t count = SysStringByteLen(string);
    if (count + 1 > UINTPTR_MAX - reinterpret_cast<std::uintptr_t>(bytes)) {
        return StringDefect::count_beyond_block;  // past the end of the address space
    }
    return readable_on(region, bytes + count + 1) ? StringDefect::none : StringDefect::count_beyond_block;
}

AnswerPlace place_of(BSTR string) noexcept {
    const unsigned char* block = reinterpret_cast<const unsigned char*>(string) - kCountSize;
    MEMORY_BASIC_INFORMATION region{};
    if (!region_of(block, region) || !can_be_read(region) || !readable_on(region, block + kCountSize)) {
        return AnswerPlace::unreadable;
    }
    if (region.Type == MEM_IMAGE) {
        return AnswerPlace::loaded_image;
    }
    return on_this_threads_stack(block) ? AnswerPlace::stack : AnswerPlace::elsewhere;
}

}  // namespace kavrelo::binding
