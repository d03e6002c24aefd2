// SPDX-License-Identifier: MIT
// The contract a Zavlek library keeps (include/zavlek.h), checked one point
// at a time. Each check runs in a child process of its own, so that a library
// that crashes or hangs spoils only the check that met it.
#pragma once

#include "core/children/ending.h"
#include "core/contract/process_probe.h"

#include <binding/binding_error.h>
#include <binding/entry_points.h>
#include <binding/escaped_exception.h>
#include <binding/loader.h>

#include <functional>
#include <optional>
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

// A C++ exception the library let out of an entry point.
struct LibraryThrew {
    std::string entry_point;
    ChildEnding ending;  // threw
};

// A call into the library through the entry point named; whatever exception
// comes out of it, but for the binding's own failures, is the library's and
// is thrown on as LibraryThrew, as is one the binding caught for it.
template <class Call>
decltype(auto) guarded(std::string_view entry_point, Call&& call) {
    try {
        return call();
    } catch (const binding::BindingError& error) {
        if (const auto* escaped = std::get_if<binding::EscapedException>(&error.failure())) {
            throw LibraryThrew{std::string(entry_point), thrown(*escaped)};
        }
        throw;
    } catch (...) {
        throw LibraryThrew{std::string(entry_point), thrown(binding::escaped_exception(entry_point))};
    }
}

// The expression the checks send where any well-formed one would do.
inline constexpr std::u16string_view kShortExpression = u"2 * (x + 3)";

// The checks in the order they run; the first is whether the library loads.
const std::vector<Check>& contract_checks();

// In the child, told each input of a check that sends many, in words, before
// it is sent: the parent names the last one told when the library ends the
// process or hangs on it.
using InputAnnounced = std::function<void(std::string_view input_in_words)>;

// A fault the library showed on an input of a check that sends many.
std::string on_input(std::string_view input_in_words, std::string_view fault);

// In the child: performs one check on the library the loader gives.
Finding perform_check(std::string_view id, binding::Loader& loader, const ProcessProbe& probe,
                      const InputAnnounced& announce);

// One text sent as fuzz and a call send it, its answer looked at as check
// looks at one: the pointer, the block, the count and the NUL, and whether
// the library frees or keeps a string (the text is sent three times, the
// first answer held during the others); and the memory the second call and
// the third each left in the allocator's hands: a leak when both left some.
// In the child.
struct InspectedCall {
    std::string answer;  // the first answer's bytes, when it is sound
    // Returned, or broke the contract, leaked or threw, with how in words;
    // or left the process without memory, for the call or for looking at
    // its answer.
    ChildEnding ending;
};
InspectedCall inspected_call(binding::TextToText function, binding::EntryPoint entry_point,
                             std::string_view text, const ProcessProbe& probe);

// The finding a child reported on its standard output, or none when it did not
// report one.
std::string report_finding(const Finding& finding);
bool read_finding(std::string_view output, Finding& finding);

}  // namespace kavrelo::zavlek_call
