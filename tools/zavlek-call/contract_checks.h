// SPDX-License-Identifier: MIT
// The contract a Zavlek library keeps (include/zavlek.h), checked one point
// at a time. Each check runs in a child process of its own, so that a library
// that crashes or hangs spoils only the check that met it.
#pragma once

#include <binding/loader.h>

#include <string>
#include <string_view>
#include <vector>

namespace kavrelo::zavlek_call {

enum class Verdict { passed, failed, warning };

std::string_view verdict_word(Verdict verdict);  // correcto, falla, aviso

struct Finding {
    Verdict verdict = Verdict::passed;
    std::string detail;
    bool library_not_loaded = false;  // nothing more can be checked
};

struct CheckResult {
    std::string title;
    Finding finding;
    double seconds = 0;
};

struct Check {
    std::string_view id;     // how a child is told which one to perform
    std::string_view title;  // as the table shows it
};

// The checks in the order they run; the first is whether the library loads.
const std::vector<Check>& contract_checks();

// In the child: performs one check on the library the loader gives.
Finding perform_check(std::string_view id, binding::Loader& loader);

// The finding a child reported on its standard output, or none when it did not
// report one.
std::string report_finding(const Finding& finding);
bool read_finding(std::string_view output, Finding& finding);

}  // namespace kavrelo::zavlek_call
