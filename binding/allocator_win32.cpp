// oleaut32 offers no way to ask how large a string's block is; its stored
// count is the authority.
#include "library_string.h"

namespace kavrelo::binding {

bool stored_count_fits(const LibraryString&) noexcept { return true; }

}  // namespace kavrelo::binding
