// System messages (the loader's reasons, exception texts) arrive as UTF-8, and
// text on a command line comes and goes as UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace kavrelo::console {

// Malformed sequences become U+FFFD, one per offending byte.
std::u16string from_utf8(std::string_view bytes);

// A lone surrogate becomes U+FFFD.
std::string to_utf8(std::u16string_view text);

}  // namespace kavrelo::console
