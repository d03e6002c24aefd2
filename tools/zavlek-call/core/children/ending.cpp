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

// Whatever a crash record holds is the child's word, taken at most this
// long: eight frames with long C++ names.
constexpr std::size_t kLongestCrashRecord = 8192;

template <typename Number>
bool read_hexadecimal(std::string_view& line, Number& number) {
    const auto [end, error] = std::from_chars(line.data(), line.data() + line.size(), number, 16);
    if (error != std::errc()) return false;
    line.remove_prefix(static_cast<std::size_t>(end - line.data()));
    return line.empty() || line.front() == ' ';
}

// "WORD " taken off the line's start.
std::string_view rest_after_space(std::string_view line) { return line.empty() ? line : line.substr(1); }

// The crash record that ends what the child sent: where it starts, and its
// facts; nothing when it sent none.
struct CrashRecord {
    std::size_t start = 0;
    std::string_view facts;
};

std::optional<CrashRecord> crash_record_ending(std::string_view reported) {
    const std::size_t earliest =
        reported.size() > kLongestCrashRecord ? reported.size() - kLongestCrashRecord : 0;
    for (std::size_t at = reported.rfind(kCrashWord); at != std::string_view::npos && at >= earliest;
         at = at == 0 ? std::string_view::npos : reported.rfind(kCrashWord, at - 1)) {
        std::string_view record = reported.substr(at + kCrashWord.size());
        std::size_t count = 0;
        if (record.empty() || record.front() != ' ') continue;
        record.remove_prefix(1);
        const auto [end, error] = std::from_chars(record.data(), record.data() + record.size(), count);
        const std::size_t header = static_cast<std::size_t>(end - record.data());
        if (error == std::errc() && header < record.size() && record[header] == '\n' &&
            record.size() - header - 1 == count) {
            return CrashRecord{at, record.substr(header + 1)};
        }
    }
    return std::nullopt;
}

std::string crash_record(std::string_view facts) {
    return std::string(kCrashWord) + " " + std::to_string(facts.size()) + "\n" + std::string(facts);
}

std::string crashed_in_words(const ChildEnding& ending, std::string_view entry_point) {
    const std::optional<binding::LibraryCrash> crash = crash_of(ending.crash_facts, entry_point);
    return "la biblioteca terminó el proceso" + during(entry_point) + ": " +
           (crash ? binding::crash_words(*crash) : ending.cause);
}

}  // namespace

std::optional<binding::LibraryCrash> crash_of(std::string_view facts, std::string_view entry_point) {
    if (facts.empty()) return std::nullopt;
    binding::LibraryCrash crash;
    crash.entry_point = std::string(entry_point);
    bool first = true;
    while (!facts.empty()) {
        const std::size_t line_end = std::min(facts.find('\n'), facts.size());
        std::string_view line = facts.substr(0, line_end);
        facts.remove_prefix(std::min(line_end + 1, facts.size()));
        if (first) {
            unsigned cause = 0;
            if (!read_hexadecimal(line, cause) ||
                cause > static_cast<unsigned>(binding::LibraryCrash::Cause::other))
                return std::nullopt;
            line = rest_after_space(line);
            if (!read_hexadecimal(line, crash.address)) return std::nullopt;
            crash.cause = static_cast<binding::LibraryCrash::Cause>(cause);
            crash.library = std::string(rest_after_space(line));
            first = false;
            continue;
        }
        binding::LibraryCrash::Frame frame;
        if (!read_hexadecimal(line, frame.file_offset)) return std::nullopt;
        line = rest_after_space(line);
        if (!read_hexadecimal(line, frame.symbol_offset)) return std::nullopt;
        frame.symbol = std::string(rest_after_space(line));
        crash.frames.push_back(std::move(frame));
    }
    return crash;
}

ChildEnding thrown(const binding::EscapedException& escaped) {
    return {Kind::threw, escaped.type, 0, {}, escaped.message};
}

ChildEnding unanswered(const ChildOutcome& outcome, std::chrono::milliseconds limit) {
    switch (outcome.ending) {
        case ChildOutcome::Ending::exited:
            return {Kind::ended_process, {}, outcome.exit_status, {}};
        case ChildOutcome::Ending::crashed: {
            const std::optional<CrashRecord> record = crash_record_ending(outcome.reported);
            return {
                Kind::crashed, outcome.cause, 0, {}, {}, record ? std::string(record->facts) : std::string()};
        }
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
            return crashed_in_words(ending, entry_point);
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
// holds no line break), "\n" and the crash record after a crash's cause: a
// child never times itself out, so the limit stays with the parent.
std::string ending_record(const ChildEnding& ending) {
    std::string after;
    if (ending.kind == Kind::threw) after = "\n" + ending.message;
    if (ending.kind == Kind::crashed && !ending.crash_facts.empty())
        after = "\n" + crash_record(ending.crash_facts);
    return std::string(kKindNames[static_cast<std::size_t>(ending.kind)]) + " " +
           std::to_string(ending.exit_status) + "\n" + ending.cause + after;
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
    const std::optional<CrashRecord> record =
        ending.kind == Kind::crashed ? crash_record_ending(ending.cause) : std::nullopt;
    if (record && record->start > 0 && ending.cause[record->start - 1] == '\n') {
        ending.crash_facts = std::string(record->facts);
        ending.cause.resize(record->start - 1);
    }
    return ending;
}

std::string seconds_of(std::chrono::milliseconds limit) {
    return text::decimal(std::chrono::duration<double>(limit).count(), 3, text::TrailingZeros::dropped) +
           " s";
}

}  // namespace kavrelo::zavlek_call
