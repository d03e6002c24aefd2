// SPDX-License-Identifier: MIT
// A rubric: a case file whose cases are parted into groups, each worth its
// points, shared equally among its cases.
//
//   @ Tokenizador 20                  a group: its name, its points
//   tokeniza2 01|02                   its cases, as a case file writes them
//   = ...
//   @ Parser, casos ocultos 10 oculta seen by the student: visible (when
//   parser_SLR 2*(                    nothing is said), oculta, tras-entrega
//   ~ ^Error de sintaxis
//   @ contrato 10                     check's rows, points shared among them
//   @ fuzz 10                         all the points when fuzz finds nothing
#pragma once

#include "core/cases/case_file.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace kavrelo::zavlek_call {

enum class Visibility { visible, hidden, after_due_date };

struct RubricGroup {
    enum class Kind { cases, contract, fuzz };
    std::string name;
    double points = 0;
    Visibility visibility = Visibility::visible;
    Kind kind = Kind::cases;
    std::vector<std::size_t> cases;  // indexes in the rubric's cases
    std::size_t line = 0;
};

struct Rubric {
    std::string file;  // as named on the command line
    std::vector<RubricGroup> groups;
    std::vector<TestCase> cases;  // in the file's order

    bool has(RubricGroup::Kind kind) const;
    double points() const;
};

// The rubric, or every line at fault as "FILE:LINE: what was expected".
struct ReadRubric {
    Rubric rubric;
    std::vector<std::string> faults;
};
ReadRubric read_rubric(const std::string& file, std::string_view bytes);

// The reserved groups' names, as a rubric writes them.
inline constexpr std::string_view kContractGroup = "contrato";
inline constexpr std::string_view kFuzzGroup = "fuzz";

}  // namespace kavrelo::zavlek_call
