// SPDX-License-Identifier: MIT
#include "text_call.h"

#include "binding_error.h"

#include <string>

#if defined(_WIN32) && defined(__i386__)

// kavrelo_measured_call(function, argument, &stack_left): pushes the argument,
// calls, and compares the stack pointer after the call with the one before
// the push; then puts the stack pointer back where it was. ESI, preserved by
// both conventions, holds it across the call.
extern "C" BSTR kavrelo_measured_call(void* function, BSTR argument,
                                      std::int32_t* stack_left) __asm__("kavrelo_measured_call");

__asm__(
    ".text\n"
    ".globl kavrelo_measured_call\n"
    ".p2align 4\n"
    "kavrelo_measured_call:\n"
    "    pushl %ebp\n"
    "    movl %esp, %ebp\n"
    "    pushl %esi\n"
    "    movl %esp, %esi\n"
    "    pushl 12(%ebp)\n"
    "    call *8(%ebp)\n"
    "    movl %esi, %ecx\n"
    "    subl %esp, %ecx\n"
    "    movl %esi, %esp\n"
    "    movl 16(%ebp), %edx\n"
    "    movl %ecx, (%edx)\n"
    "    popl %esi\n"
    "    popl %ebp\n"
    "    ret\n");

#endif

namespace kavrelo::binding {

#if defined(_WIN32) && defined(__i386__)
TextCall call_text(TextToText function, BSTR argument) {
    TextCall call;
    call.returned = kavrelo_measured_call(reinterpret_cast<void*>(function), argument, &call.stack_left);
    return call;
}
#endif

void throw_calling_convention_fault(const TextCall& call, std::string_view entry_point) {
    throw BindingError(
        CallingConventionFault{std::string(kZavlekFile), std::string(entry_point), call.stack_left});
}

}  // namespace kavrelo::binding
