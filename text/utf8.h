// UTF-8, as system messages, exception texts, command lines and standard
// streams carry text, to and from the program's UTF-16.
#pragma once

#include <string>
#include <string_view>

namespace kavrelo::text {

// Malformed sequences become U+FFFD, one per offending byte.
std::u16string from_utf8(std::string_view bytes);

// A lone surrogate becomes U+FFFD.
std::string to_utf8(std::u16string_view text);

#if defined(_WIN32)
// The system's wide strings are UTF-16 too.
inline std::wstring wide_from_utf8(std::string_view bytes) {
    const std::u16string units = from_utf8(bytes);
    return {units.begin(), units.end()};
}

inline std::string utf8_from_wide(std::wstring_view text) {
    return to_utf8({reinterpret_cast<const char16_t*>(text.data()), text.size()});
}
#endif

}  // namespace kavrelo::text
