// SPDX-License-Identifier: MIT
// The program's text made by a converter that writes every unit of it: made
// without first being cleared, a pass over the whole output that a long
// answer would otherwise pay once more than the conversion itself.
// basic_string::resize_and_overwrite is C++23, which the binding is built with.
#pragma once

#include <cstddef>
#include <string>

namespace kavrelo::binding {

// A text of exactly `units` units, all of them written by write(out), which
// must not throw.
template <typename Write>
std::u16string written_text(std::size_t units, Write write) {
    std::u16string text;
    text.resize_and_overwrite(units, [&](char16_t* out, std::size_t /*room*/) noexcept {
        write(out);
        // The count asked for, never the room given: some standard libraries
        // give the whole capacity there, which may be more than was asked.
        return units;
    });
    return text;
}

}  // namespace kavrelo::binding
