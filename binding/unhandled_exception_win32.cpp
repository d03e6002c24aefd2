// SPDX-License-Identifier: MIT
#include "unhandled_exception.h"

#include <cstdint>

namespace kavrelo::binding {
namespace {

using Cause = LibraryCrash::Cause;
using Access = LibraryCrash::Access;

// What the system and the runtimes raise, by their codes: Visual C++'s
// runtime throws with this one, and ends an abort with the other.
constexpr DWORD kMsvcException = 0xE06D7363;
constexpr DWORD kFatalAppExit = 0x40000015;

Cause cause_of(DWORD code) noexcept {
    switch (code) {
        case EXCEPTION_ACCESS_VIOLATION:
        case EXCEPTION_IN_PAGE_ERROR:
        case EXCEPTION_DATATYPE_MISALIGNMENT:
        case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
            return Cause::memory_access;
        case EXCEPTION_STACK_OVERFLOW:
            return Cause::stack_overflow;
        case EXCEPTION_ILLEGAL_INSTRUCTION:
        case EXCEPTION_PRIV_INSTRUCTION:
            return Cause::illegal_instruction;
        case EXCEPTION_INT_DIVIDE_BY_ZERO:
            return Cause::division_by_zero;
        case EXCEPTION_INT_OVERFLOW:
        case EXCEPTION_FLT_DIVIDE_BY_ZERO:
        case EXCEPTION_FLT_INVALID_OPERATION:
        case EXCEPTION_FLT_OVERFLOW:
        case EXCEPTION_FLT_UNDERFLOW:
        case EXCEPTION_FLT_INEXACT_RESULT:
        case EXCEPTION_FLT_DENORMAL_OPERAND:
        case EXCEPTION_FLT_STACK_CHECK:
            return Cause::arithmetic;
        case kMsvcException:
            return Cause::msvc_exception;
        case kFatalAppExit:
            return Cause::abort;
        default:
            return Cause::other;
    }
}

// The first word of a memory fault's information says what the
// instruction did at the address, the second.
Access access_of(ULONG_PTR operation) noexcept {
    switch (operation) {
        case 0:
            return Access::read;
        case 1:
            return Access::write;
        case 8:
            return Access::execute;
        default:
            return Access::unknown;
    }
}

std::uintptr_t stack_pointer_of(const CONTEXT* context) noexcept {
    if (context == nullptr) return 0;
#if defined(_M_X64) || defined(__x86_64__)
    return context->Rsp;
#elif defined(_M_IX86) || defined(__i386__)
    return context->Esp;
#else
    return 0;
#endif
}

}  // namespace

LibraryCrash crash_of(const EXCEPTION_POINTERS& exception) noexcept {
    const EXCEPTION_RECORD& record = *exception.ExceptionRecord;
    LibraryCrash crash;
    crash.cause = cause_of(record.ExceptionCode);
    const bool memory_fault =
        record.ExceptionCode == EXCEPTION_ACCESS_VIOLATION || record.ExceptionCode == EXCEPTION_IN_PAGE_ERROR;
    if (memory_fault && record.NumberParameters >= 2) {
        crash.access = access_of(record.ExceptionInformation[0]);
        crash.address = record.ExceptionInformation[1];
    } else if (crash.cause == Cause::stack_overflow) {
        // Where the stack stood when it ran out: the words say it is at the
        // end of the stack.
        crash.address = stack_pointer_of(exception.ContextRecord);
    } else {
        crash.address = reinterpret_cast<std::uintptr_t>(record.ExceptionAddress);
    }
    return crash;
}

void keep_stack_for_handler(ULONG bytes) noexcept {
    ULONG reserve = bytes;
    SetThreadStackGuarantee(&reserve);
    // Windows grows a stack a page at a time, each time below a guard page,
    // and raises the overflow once the guard would enter the kept part.
    // Wine commits the first thread's stack whole, with one guard page at
    // its very end, and so raises it with a page left, too little to
    // dispatch it: a guard page just above the kept part makes it grow as
    // Windows does from there on. Where that page is not committed (on
    // Windows, for a stack not yet so deep) this changes nothing.
    ULONG_PTR low = 0;
    ULONG_PTR high = 0;
    GetCurrentThreadStackLimits(&low, &high);
    SYSTEM_INFO system{};
    GetSystemInfo(&system);
    const ULONG_PTR page = system.dwPageSize;
    const ULONG_PTR kept = (static_cast<ULONG_PTR>(bytes) + page - 1) / page * page;
    auto* const guard = reinterpret_cast<void*>(low + page + kept);
    MEMORY_BASIC_INFORMATION memory{};
    DWORD previous = 0;
    if (VirtualQuery(guard, &memory, sizeof memory) == sizeof memory && memory.State == MEM_COMMIT &&
        memory.Protect == PAGE_READWRITE &&
        reinterpret_cast<ULONG_PTR>(guard) + page < reinterpret_cast<ULONG_PTR>(&memory)) {
        VirtualProtect(guard, page, PAGE_READWRITE | PAGE_GUARD, &previous);
    }
}

}  // namespace kavrelo::binding
