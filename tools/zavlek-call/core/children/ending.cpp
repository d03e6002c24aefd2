// SPDX-License-Identifier: MIT
#include "core/children/ending.h"

#include <binding/wording.h>
#include <text/numbers.h>

#include <algorithm>
#include <array>
#include <charconv>

namespace kavrelo::zavlek_call {
namespace {

using Kind = ChildEnding::Kind;

// In the order of Kind.
constexpr std::array<std::string_view, 8> kKindNames = {"returned",      "crashed",        "timed_out",
                                                        "ended_process", "broke_contract", "leaked",
                                                        "threw",         "out_of_memory"};

std::string during(std::string_view entry_point) {
    return entry_point.empty() ? std::string() : " durante " + std::string(entry_point);
}

std::string escaped_in_words(const ChildEnding& ending, std::string_view entry_point) {
    const std::string who = entry_point.empty() ? std::string("la biblioteca") : std::string(entry_point);
    return who + " dejó salir una excepción de C++: " +
           binding::escaped_exception_words({{}, std::string(entry_point), ending.cause, ending.message});
}

}  // namespace

ChildEnding thrown(const binding::EscapedException& escaped) {
    return {Kind::threw, escaped.type, 0, {}, escaped.message};
}

ChildEnding unanswered(const ChildOutcome& outcome, std::chrono::milliseconds limit) {
    switch (outcome.ending) {
        case ChildOutcome::Ending::exited:
            return {Kind::ended_process, {}, outcome.exit_status, {}};
        case ChildOutcome::Ending::crashed:
            return {Kind::crashed, outcome.cause, 0, {}};
        case ChildOutcome::Ending::timed_out:
            break;
    }
    return {Kind::timed_out, {}, 0, limit};
}

std::string in_words(const ChildEnding& ending, std::string_view entry_point) {
    switch (ending.kind) {
        case Kind::returned:
            return {};
        case Kind::crashed:
            return "la biblioteca terminó el proceso" + during(entry_point) + ": " + ending.cause;
        case Kind::timed_out:
            if (entry_point.empty()) return "no terminó en " + seconds_of(ending.limit) + "; se detuvo";
            return std::string(entry_point) + " no volvió en " + seconds_of(ending.limit) +
                   "; se detuvo el proceso";
        case Kind::ended_process:
            return "la biblioteca terminó el proceso" + during(entry_point) + " (estado " +
                   std::to_string(ending.exit_status) + ") sin responder";
        case Kind::threw:
            return escaped_in_words(ending, entry_point);
        case Kind::out_of_memory:
            return "memoria agotada" + during(entry_point) + ": la biblioteca dejó el proceso sin memoria";
        case Kind::broke_contract:
        case Kind::leaked:
            break;
    }
    return ending.cause;
}

// "KIND STATUS\nCAUSE", and "\nMESSAGE" after an exception's type (which
// holds no line break): a child never times itself out, so the limit stays
// with the parent.
std::string ending_record(const ChildEnding& ending) {
    return std::string(kKindNames[static_cast<std::size_t>(ending.kind)]) + " " +
           std::to_string(ending.exit_status) + "\n" + ending.cause +
           (ending.kind == Kind::threw ? "\n" + ending.message : std::string());
}

std::optional<ChildEnding> ending_from_record(std::string_view bytes) {
    const std::size_t space = bytes.find(' ');
    const std::size_t line_end = bytes.find('\n');
    if (space == std::string_view::npos || line_end == std::string_view::npos || space > line_end) {
        return std::nullopt;
    }
    const auto kind = std::find(kKindNames.begin(), kKindNames.end(), bytes.substr(0, space));
    ChildEnding ending;
    const char* const status_end = bytes.data() + line_end;
    const auto [end, error] = std::from_chars(bytes.data() + space + 1, status_end, ending.exit_status);
    if (kind == kKindNames.end() || error != std::errc() || end != status_end) return std::nullopt;
    ending.kind = static_cast<Kind>(kind - kKindNames.begin());
    ending.cause = std::string(bytes.substr(line_end + 1));
    if (ending.kind == Kind::threw) {
        const std::size_t type_end = ending.cause.find('\n');
        if (type_end == std::string::npos) return std::nullopt;
        ending.message = ending.cause.substr(type_end + 1);
        ending.cause.resize(type_end);
    }
    return ending;
}

std::string seconds_of(std::chrono::milliseconds limit) {
    return text::decimal(std::chrono::duration<double>(limit).count(), 3, text::TrailingZeros::dropped) +
           " s";
}

}  // namespace kavrelo::zavlek_call
