// System messages (the loader's reasons, exception texts) arrive as UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace kavrelo::console {

// Malformed sequences become U+FFFD, one per offending byte.
std::u16string from_utf8(std::string_view bytes);

}  // namespace kavrelo::console
