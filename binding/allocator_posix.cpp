// What the C allocator, which stands in for the system string allocator
// here, knows about a library string's block.
#include "library_string.h"

#include <malloc.h>

#include <cstdint>

namespace kavrelo::binding {

bool stored_count_fits(const LibraryString& string) noexcept {
    if (!string) {
        return true;
    }
    void* block = reinterpret_cast<unsigned char*>(string.get()) - ZAVLEK_BSTR_HEADER;
    const std::size_t usable = malloc_usable_size(block);
    const std::size_t count = SysStringByteLen(string.get());
    return usable >= ZAVLEK_BSTR_HEADER + 1 && count <= usable - ZAVLEK_BSTR_HEADER - 1;
}

}  // namespace kavrelo::binding
