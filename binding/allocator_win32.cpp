// SPDX-License-Identifier: MIT
// oleaut32 offers no way to ask how large a string's block is, so a library
// string is looked at through the memory around it: the system says which
// pages can be read and which belong to a loaded image.
#include "library_string.h"

#include <windows.h>

#include <cstdint>

namespace kavrelo::binding {
namespace {

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

StringDefect defect_of(BSTR string, BSTR argument) noexcept {
    if (string == nullptr) {
        return StringDefect::none;
    }
    const auto* bytes = reinterpret_cast<const unsigned char*>(string);
    const unsigned char* block = bytes - kCountSize;
    // One question to the system answers most answers whole: whether the
    // count can be read, whether it lies in a loaded image (a constant), and
    // where the pages that can be read end.
    MEMORY_BASIC_INFORMATION region{};
    if (lies_within(block, argument) || !region_of(block, region) || !can_be_read(region) ||
        region.Type == MEM_IMAGE || !readable_on(region, bytes)) {
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
    ULONG_PTR low = 0;
    ULONG_PTR high = 0;
    GetCurrentThreadStackLimits(&low, &high);
    const auto at = reinterpret_cast<ULONG_PTR>(block);
    return at >= low && at < high ? AnswerPlace::stack : AnswerPlace::elsewhere;
}

}  // namespace kavrelo::binding
