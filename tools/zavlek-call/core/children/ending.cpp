// SPDX-License-Identifier: MIT
#include "core/children/ending.h"

#include <text/numbers.h>

#include <cxxabi.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdlib>
#include <exception>
#include <memory>
#include <typeinfo>

namespace kavrelo::zavlek_call {
namespace {

using Kind = ChildEnding::Kind;

// In the order of Kind.
constexpr std::array<std::string_view, 7> kKindNames = {
    "returned", "crashed", "timed_out", "ended_process", "broke_contract", "leaked", "threw"};

std::string during(std::string_view entry_point) {
    return entry_point.empty() ? std::string() : " durante " + std::string(entry_point);
}

// A type's name as its author wrote it: std::out_of_range, not St12out_of_range.
std::string demangled(const char* name) {
    int status = 0;
    const std::unique_ptr<char, decltype(&std::free)> readable(
        abi::__cxa_demangle(name, nullptr, nullptr, &status), &std::free);
    return status == 0 && readable ? std::string(readable.get()) : std::string(name);
}

std::string escaped_in_words(const ChildEnding& ending, std::string_view entry_point) {
    const std::string who = entry_point.empty() ? std::string("la biblioteca") : std::string(entry_point);
    const std::string message = ending.message.empty() ? std::string() : " («" + ending.message + "»)";
    return who + " dejó salir una excepción de C++: " + ending.cause + message +
           ". Una excepción no puede cruzar un punto de entrada, pues quien llama no es C++: captúrela "
           "dentro de la función (try { … } catch (const std::exception& e) { … }) y devuelva una cadena "
           "que explique el error";
}

}  // namespace

ChildEnding escaped_exception() {
    ChildEnding ending{Kind::threw, {}, 0, {}, {}};
    const std::type_info* const type = abi::__cxa_current_exception_type();
    ending.cause = type != nullptr ? demangled(type->name()) : std::string("desconocida");
    try {
        throw;
    } catch (const std::exception& error) {
        ending.message = error.what();
    } catch (...) {
        // No std::exception: its type is all there is to say.
    }
    return ending;
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
