// SPDX-License-Identifier: MIT
#include "library_crash.h"

#include "crash_guard.h"
#include "fatal_report.h"

#include <binding/wording.h>
#include <binding/signal_safe_text.h>
#include <text/utf8.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace kavrelo::console {
namespace {

// How much of the text the report shows, in bytes of UTF-8.
constexpr std::size_t kShownText = 300;

// What the handler reads: written before each call, read only on a crash.
struct WatchedCall {
    volatile bool active = false;
    char entry_point[32] = {};
    char text[kShownText + 8] = {};
    char assignment[sizeof text + 160] = {};
};
WatchedCall watched;

// The text's start, cut at a character's start, with "…" where it was cut.
void keep_start_of(std::u16string_view text) {
    const std::string bytes = text::to_utf8(text.substr(0, kShownText));
    std::size_t length = std::min(bytes.size(), kShownText);
    while (length < bytes.size() && length > 0 &&
           (static_cast<unsigned char>(bytes[length]) & 0xC0) == 0x80) {
        --length;
    }
    std::memcpy(watched.text, bytes.data(), length);
    const bool cut = length < bytes.size() || text.size() > kShownText;
    std::memcpy(watched.text + length, cut ? "\xE2\x80\xA6" : "", cut ? 4 : 1);
}

// The facts are three numbers (cause, access, address) and the entry
// point's name, separated by ';', then the text, which may hold anything but
// NUL.
struct CrashFacts {
    binding::LibraryCrash crash;
    std::string text;
};

std::optional<CrashFacts> facts_from(std::string_view value) {
    std::string_view fields[4];
    for (std::string_view& field : fields) {
        const std::size_t end = value.find(';');
        if (end == std::string_view::npos) {
            return std::nullopt;
        }
        field = value.substr(0, end);
        value.remove_prefix(end + 1);
    }
    const auto number = [](std::string_view digits) {
        return std::strtoull(std::string(digits).c_str(), nullptr, 16);
    };
    using Crash = binding::LibraryCrash;
    const auto cause = number(fields[0]);
    const auto access = number(fields[1]);
    if (cause > static_cast<unsigned long long>(Crash::Cause::other) ||
        access > static_cast<unsigned long long>(Crash::Access::execute)) {
        return std::nullopt;
    }
    return CrashFacts{{static_cast<Crash::Cause>(cause),
                       number(fields[2]),
                       std::string(fields[3]),
                       {},
                       {},
                       static_cast<Crash::Access>(access)},
                      std::string(value)};
}

}  // namespace

LibraryCallWatch::LibraryCallWatch(binding::EntryPoint entry_point, std::u16string_view text) noexcept {
    const std::string_view name = binding::declaration_of(entry_point).name;
    std::memcpy(watched.entry_point, name.data(), std::min(name.size(), sizeof watched.entry_point - 1));
    watched.entry_point[std::min(name.size(), sizeof watched.entry_point - 1)] = '\0';
    try {
        keep_start_of(text);
    } catch (...) {
        watched.text[0] = '\0';  // out of memory: the report goes without the text
    }
    watched.active = true;
}

LibraryCallWatch::~LibraryCallWatch() { watched.active = false; }

const char* crash_assignment(const binding::LibraryCrash& crash) noexcept {
    if (!watched.active) {
        return nullptr;
    }
    binding::SignalSafeText(watched.assignment, sizeof watched.assignment)
        .text(kCrashVariable.data())
        .text("=")
        .number(static_cast<unsigned>(crash.cause), 16)
        .text(";")
        .number(static_cast<unsigned>(crash.access), 16)
        .text(";")
        .number(crash.address, 16)
        .text(";")
        .text(watched.entry_point)
        .text(";")
        .text(watched.text);
    return watched.assignment;
}

std::optional<std::u16string> crash_report_from_environment() {
    const std::optional<std::string> value = crash_facts_passed();
    if (!value) {
        return std::nullopt;
    }
    const std::optional<CrashFacts> facts = facts_from(*value);
    if (!facts) {
        return std::nullopt;
    }
    return library_crash_report(text::from_utf8(binding::library_crash_sentence(facts->crash)),
                                text::from_utf8(facts->text));
}

}  // namespace kavrelo::console
