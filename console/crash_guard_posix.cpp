// SPDX-License-Identifier: MIT
// The handler runs on a stack of its own (the thread's may be what ran out)
// and does only what a signal handler may: it reads the facts kept before the
// call, and replaces the process with a fresh copy of the program, which
// shows the report. Nothing of the broken process is trusted to draw it.
#include "crash_guard.h"

#include "library_crash.h"

#include <pthread.h>
#include <signal.h>
#include <ucontext.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>

extern char** environ;

namespace kavrelo::console {
namespace {

using Cause = binding::LibraryCrash::Cause;

constexpr int kFatalSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};

// How near the end of the stack, or below the stack pointer, a memory fault
// is taken for the stack running out: more than a large frame.
constexpr std::uintptr_t kNearTheStack = 256 * 1024;

alignas(16) unsigned char alternate_stack[64 * 1024];
std::uintptr_t stack_end = 0;  // the lowest address the thread's stack may reach

std::uintptr_t lowest_stack_address() noexcept {
    pthread_attr_t attributes;
    if (pthread_getattr_np(pthread_self(), &attributes) != 0) {
        return 0;
    }
    void* low = nullptr;
    std::size_t size = 0;
    const bool known = pthread_attr_getstack(&attributes, &low, &size) == 0;
    pthread_attr_destroy(&attributes);
    return known ? reinterpret_cast<std::uintptr_t>(low) : 0;
}

std::uintptr_t stack_pointer_of(const void* context) noexcept {
    const auto* machine = &static_cast<const ucontext_t*>(context)->uc_mcontext;
#if defined(__x86_64__)
    return static_cast<std::uintptr_t>(machine->gregs[REG_RSP]);
#elif defined(__i386__)
    return static_cast<std::uintptr_t>(machine->gregs[REG_ESP]);
#else
    static_cast<void>(machine);
    return 0;
#endif
}

bool near(std::uintptr_t address, std::uintptr_t mark) noexcept {
    return mark != 0 && (address > mark ? address - mark : mark - address) < kNearTheStack;
}

Cause cause_of(int signal, const siginfo_t& info, std::uintptr_t address, const void* context) noexcept {
    switch (signal) {
        case SIGSEGV:
            return near(address, stack_end) || near(address, stack_pointer_of(context))
                       ? Cause::stack_overflow
                       : Cause::memory_access;
        case SIGBUS:
            return Cause::memory_access;
        case SIGILL:
            return Cause::illegal_instruction;
        case SIGFPE:
            return info.si_code == FPE_INTDIV ? Cause::division_by_zero : Cause::arithmetic;
        case SIGABRT:
            return Cause::abort;
        default:
            return Cause::other;
    }
}

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
    crash.cause = cause_of(signal, *info, address, context);
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

void guard_library_calls() {
    stack_end = lowest_stack_address();
    stack_t alternate{};
    alternate.ss_sp = alternate_stack;
    alternate.ss_size = sizeof alternate_stack;
    sigaltstack(&alternate, nullptr);
    struct sigaction action {};
    action.sa_sigaction = on_fatal_signal;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_RESETHAND | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    for (const int signal : kFatalSignals) {
        sigaction(signal, &action, nullptr);
    }
}

std::optional<std::string> crash_facts_passed() {
    const char* value = std::getenv(std::string(kCrashVariable).c_str());
    return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
}

}  // namespace kavrelo::console
