// SPDX-License-Identifier: MIT
// Calling an entry point that takes a text, with its calling convention
// checked where there is more than one (32-bit Windows): the contract says
// __stdcall, which removes the 4-byte argument from the stack; a cdecl
// function leaves it there, which a caller's frame pointer often hides until
// another host or other optimisation crashes on it. mPila and tokeniza take
// no argument, so the two conventions cannot be told apart for them.
#pragma once

#include "entry_points.h"

#include <cstdint>
#include <string_view>

namespace kavrelo::binding {

struct TextCall {
    BSTR returned = nullptr;
    // Bytes the call left on the stack beyond what __stdcall leaves (0 when
    // it kept the convention; 4 for a cdecl function; negative when it
    // removed more than its argument). The stack is restored either way.
    std::int32_t stack_left = 0;
};

// Whether calls are measured at all: only on 32-bit x86 Windows.
inline constexpr bool kCallingConventionMatters =
#if defined(_WIN32) && defined(__i386__)
    true;
#else
    false;
#endif

#if defined(_WIN32) && defined(__i386__)
TextCall call_text(TextToText function, BSTR argument);
#else
inline TextCall call_text(TextToText function, BSTR argument) { return {function(argument), 0}; }
#endif

[[noreturn]] void throw_calling_convention_fault(const TextCall& call, std::string_view entry_point);

// Throws BindingError (CallingConventionFault) for a call that did not keep
// the convention.
inline void require_stdcall(const TextCall& call, std::string_view entry_point) {
    if (call.stack_left != 0) {
        throw_calling_convention_fault(call, entry_point);
    }
}

}  // namespace kavrelo::binding
