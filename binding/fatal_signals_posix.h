// SPDX-License-Identifier: MIT
// A library call that ends the process with a fatal signal (POSIX): the
// handler that reports it, on a stack of its own, and what the signal says of
// the crash. Whoever reports it (the console, a child of zavlek-call) does so
// from the handler, where only async-signal-safe work may be done: nothing
// here allocates or takes a lock.
#pragma once

#include "binding_error.h"

#include <signal.h>

namespace kavrelo::binding {

using FatalSignalHandler = void (*)(int signal, siginfo_t* info, void* context);

// From now on the fatal signals (SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT) on
// this thread go to the handler, once, on a stack of its own (the thread's
// may be what ran out); the handler ends the process as the signal would
// have by raising it again.
void on_fatal_signals(FatalSignalHandler handler) noexcept;

// What a fatal signal says of the crash. A memory fault near the end of the
// stack that the thread which called on_fatal_signals may reach, or near
// the stack pointer, is the stack running out.
LibraryCrash::Cause crash_cause(int signal, const siginfo_t& info, const void* context) noexcept;

}  // namespace kavrelo::binding
