// SPDX-License-Identifier: MIT
// A library that crashes the process in the middle of a call leaves nothing
// behind that can be trusted: the heap, the window, the toolkit may be what it
// broke. So the console keeps, before each call, what a report of such a
// crash needs, where a signal handler can read it without allocating; the
// handler hands it to a fresh copy of the program, which shows the report
// and ends without loading the library again.
#pragma once

#include <binding/binding_error.h>
#include <binding/entry_points.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kavrelo::console {

// While one exists, a crash is the library's, in this entry point, with
// this text (the start of it).
class LibraryCallWatch {
public:
    explicit LibraryCallWatch(binding::EntryPoint entry_point, std::u16string_view text = {}) noexcept;
    ~LibraryCallWatch();
    LibraryCallWatch(const LibraryCallWatch&) = delete;
    LibraryCallWatch& operator=(const LibraryCallWatch&) = delete;
};

// The name of the environment variable that carries a crash to the fresh
// copy of the program.
inline constexpr std::string_view kCrashVariable = "KAVRELO1_FALLO_EN_LA_BIBLIOTECA";

// "NAME=facts" for the call being watched, with the crash's cause, address
// and access (its entry point is the watch's), made in a buffer of its own
// from async-signal-safe work only; null when no call is being watched.
const char* crash_assignment(const binding::LibraryCrash& crash) noexcept;

// The crash a fresh copy was started to report: the facts the variable
// carries, taken out of the environment. Nothing when it is not set.
std::optional<std::u16string> crash_report_from_environment();

}  // namespace kavrelo::console
