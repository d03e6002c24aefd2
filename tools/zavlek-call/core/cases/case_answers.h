// SPDX-License-Identifier: MIT
// A case file made from a list of inputs and the answers a library gave
// them: one call a line, as a case's first line writes it; blank lines,
// comments and a rubric's group lines (@) are copied as they are, so that a
// rubric without answers gets them.
//
//   parser_SLR 2*(            parser_SLR 2*(
//                       ->    = Error de sintaxis en la posición 4: ...
//   mPila                     mPila
#pragma once

#include "core/cases/case_file.h"
#include "core/cases/case_run.h"

#include <string>
#include <string_view>
#include <vector>

namespace kavrelo::zavlek_call {

struct InputList {
    std::vector<std::string> lines;   // every line, as written
    std::vector<TestCase> cases;      // the lines that are calls, in order
    std::vector<std::string> faults;  // "FILE:LINE: what was expected"
};
InputList read_input_list(const std::string& file, std::string_view bytes);

// The case file: every line of the list, each call's followed by its answer
// (results: the cases', in order), written so that read_case_file gives
// back exactly that answer.
std::string answered_case_file(const InputList& inputs, const std::vector<CaseResult>& results);

}  // namespace kavrelo::zavlek_call
