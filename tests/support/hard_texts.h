// SPDX-License-Identifier: MIT
// Texts whose cut for a label is easy to get wrong: long runs of what takes
// no room (spaces, tabs, controls, line breaks), narrow and wide characters.
#pragma once

#include <string>
#include <vector>

namespace kavrelo::testing {

std::vector<std::u16string> texts_hard_to_cut();

}  // namespace kavrelo::testing
