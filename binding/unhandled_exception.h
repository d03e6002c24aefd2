// SPDX-License-Identifier: MIT
// Windows: a structured exception that nothing handled, as the crash it is.
// The console's handler and zavlek-call's child both read it here, so that
// both say the same of the same crash.
#pragma once

#include "binding_error.h"

#include <windows.h>

namespace kavrelo::binding {

// The cause, from the exception's code; for a memory fault, the address
// and whether it was read, written or run, else where the instruction was.
// The entry point is left empty, for the caller. Does nothing a handler in a
// broken process may not: no allocation, no lock.
LibraryCrash crash_of(const EXCEPTION_POINTERS& exception) noexcept;

// Keeps this much of the calling thread's stack for the handler of its
// overflow: the system raises the overflow with that much left.
void keep_stack_for_handler(ULONG bytes) noexcept;

}  // namespace kavrelo::binding
