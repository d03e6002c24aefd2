// SPDX-License-Identifier: MIT
// The handler runs on a stack of its own (the thread's may be what ran out)
// and does only what a signal handler may: it reads the facts kept before the
// call, and replaces the process with a fresh copy of the program, which
// shows the report. Nothing of the broken process is trusted to draw it.
#include "crash_guard.h"

#include "library_crash.h"

#include <binding/fatal_signals_posix.h>

#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>

extern char** environ;

namespace kavrelo::console {
namespace {

// The environment of the fresh copy: the facts first, then this one's.
char* const* environment_with(const char* assignment) noexcept {
    static const char* environment[4096];
    std::size_t count = 0;
    environment[count++] = assignment;
    for (char** variable = environ; variable != nullptr && *variable != nullptr &&
                                    count + 1 < sizeof environment / sizeof environment[0];
         ++variable) {
        environment[count++] = *variable;
    }
    environment[count] = nullptr;
    return const_cast<char* const*>(environment);
}

extern "C" void on_fatal_signal(int signal, siginfo_t* info, void* context) {
    const auto address = reinterpret_cast<std::uintptr_t>(info->si_addr);
    binding::LibraryCrash crash;
    crash.cause = binding::crash_cause(signal, *info, context);
    crash.address = address;
    const char* assignment = crash_assignment(crash);
    if (assignment != nullptr) {
        // The copy's name is the one this process was started by (argv[0]).
        char* const arguments[] = {program_invocation_name, nullptr};
        execve("/proc/self/exe", arguments, environment_with(assignment));
    }
    // Not in a library call, or no fresh copy could start: the signal's own
    // end, its handler gone.
    raise(signal);
}

}  // namespace

void guard_library_calls() { binding::on_fatal_signals(on_fatal_signal); }

std::optional<std::string> crash_facts_passed() {
    const char* value = std::getenv(std::string(kCrashVariable).c_str());
    return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
}

}  // namespace kavrelo::console
