// SPDX-License-Identifier: MIT
// oleaut32 offers no way to ask how large a string's block is, so a library
// string is looked at through the memory around it: the system says which
// pages can be read and which belong to a loaded image.
#include "library_string.h"

#include <windows.h>

#include <cstdint>

namespace kavrelo::binding {
namespace {

// Whether every byte of [first, first + size) lies in committed memory that
// can be read, region by region.
bool readable(const unsigned char* first, std::size_t size) noexcept {
    if (size > UINTPTR_MAX - reinterpret_cast<std::uintptr_t>(first)) {
        return false;  // past the end of the address space
    }
    const unsigned char* at = first;
    const unsigned char* const end = first + size;
    while (at < end) {
        MEMORY_BASIC_INFORMATION region{};
        if (VirtualQuery(at, &region, sizeof region) == 0 || region.State != MEM_COMMIT ||
            (region.Protect & (PAGE_NOACCESS | PAGE_GUARD)) != 0 ||
            (region.Protect & (PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
                               PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY)) == 0) {
            return false;
        }
        at = static_cast<const unsigned char*>(region.BaseAddress) + region.RegionSize;
    }
    return true;
}

bool in_a_loaded_image(const void* at) noexcept {
    HMODULE module = nullptr;
    return GetModuleHandleExW(
               GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
               static_cast<LPCWSTR>(at), &module) != 0;
}

}  // namespace

StringDefect defect_of(BSTR string, BSTR argument) noexcept {
    if (string == nullptr) {
        return StringDefect::none;
    }
    const auto* block = reinterpret_cast<const unsigned char*>(string) - kCountSize;
    if (lies_within(block, argument) || !readable(block, kCountSize) || in_a_loaded_image(block)) {
        return StringDefect::not_from_the_allocator;
    }
    // The bytes and the NUL after them.
    const std::size_t count = SysStringByteLen(string);
    return readable(reinterpret_cast<const unsigned char*>(string), count + 1)
               ? StringDefect::none
               : StringDefect::count_beyond_block;
}

}  // namespace kavrelo::binding
