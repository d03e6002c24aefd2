// The one place where binding failures become sentences: the window's fatal
// report and zavlek-call both show these.
#pragma once

#include "binding_error.h"

#include <string>

namespace kavrelo::binding {

// What went wrong in plain words, then the system's own detail.
std::string reason_of(const BindingFailure& failure);

// The entry points' names as a Spanish list: "mPila, tokeniza, tokeniza2 y
// parser_SLR".
std::string entry_point_list();

// The whole sentence: which library, which entry point, and the reason.
std::string sentence_of(const BindingFailure& failure);

}  // namespace kavrelo::binding
