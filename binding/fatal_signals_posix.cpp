// SPDX-License-Identifier: MIT
#include "fatal_signals_posix.h"

#include <pthread.h>
#include <ucontext.h>

namespace kavrelo::binding {
namespace {

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

}  // namespace

void on_fatal_signals(FatalSignalHandler handler) noexcept {
    stack_end = lowest_stack_address();
    stack_t alternate{};
    alternate.ss_sp = alternate_stack;
    alternate.ss_size = sizeof alternate_stack;
    sigaltstack(&alternate, nullptr);
    struct sigaction action {};
    action.sa_sigaction = handler;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_RESETHAND | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    for (const int signal : kFatalSignals) {
        sigaction(signal, &action, nullptr);
    }
}

LibraryCrash::Cause crash_cause(int signal, const siginfo_t& info, const void* context) noexcept {
    using Cause = LibraryCrash::Cause;
    const auto address = reinterpret_cast<std::uintptr_t>(info.si_addr);
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

}  // namespace kavrelo::binding
