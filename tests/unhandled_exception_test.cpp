// SPDX-License-Identifier: MIT
// Exceptions as the system hands them to a handler, read as crashes.
#include <binding/unhandled_exception.h>

#include <gtest/gtest.h>

#include <cstdint>

namespace kavrelo::binding {
namespace {

using Cause = LibraryCrash::Cause;
using Access = LibraryCrash::Access;

constexpr std::uintptr_t kInstruction = 0x10001234;

LibraryCrash crash_from(DWORD code, std::initializer_list<ULONG_PTR> information = {},
                        std::uintptr_t stack_pointer = 0) {
    EXCEPTION_RECORD record{};
    record.ExceptionCode = code;
    record.ExceptionAddress = reinterpret_cast<void*>(kInstruction);
    for (const ULONG_PTR word : information) record.ExceptionInformation[record.NumberParameters++] = word;
    CONTEXT context{};
#if defined(__x86_64__)
    context.Rsp = stack_pointer;
#else
    context.Esp = stack_pointer;
#endif
    EXCEPTION_POINTERS pointers{&record, &context};
    return crash_of(pointers);
}

// A memory fault is said where it read, wrote or jumped to, not where the
// instruction was; other faults where the instruction was, and a stack
// overflow where the stack stood.
TEST(UnhandledException, SaysTheCauseAndTheAddressTheCauseNeeds) {
    const LibraryCrash write = crash_from(EXCEPTION_ACCESS_VIOLATION, {1, 0});
    EXPECT_EQ(write.cause, Cause::memory_access);
    EXPECT_EQ(write.access, Access::write);
    EXPECT_EQ(write.address, 0u);
    const LibraryCrash read = crash_from(EXCEPTION_ACCESS_VIOLATION, {0, 0x10});
    EXPECT_EQ(read.access, Access::read);
    EXPECT_EQ(read.address, 0x10u);
    const LibraryCrash jump = crash_from(EXCEPTION_ACCESS_VIOLATION, {8, 0x4000});
    EXPECT_EQ(jump.access, Access::execute);
    EXPECT_EQ(jump.address, 0x4000u);

    const LibraryCrash overflow = crash_from(EXCEPTION_STACK_OVERFLOW, {}, 0x31f70);
    EXPECT_EQ(overflow.cause, Cause::stack_overflow);
    EXPECT_EQ(overflow.address, 0x31f70u);

    for (const auto& [code, cause] :
         {std::pair{DWORD{EXCEPTION_INT_DIVIDE_BY_ZERO}, Cause::division_by_zero},
          std::pair{DWORD{EXCEPTION_ILLEGAL_INSTRUCTION}, Cause::illegal_instruction},
          std::pair{DWORD{EXCEPTION_INT_OVERFLOW}, Cause::arithmetic}}) {
        const LibraryCrash crash = crash_from(code);
        EXPECT_EQ(crash.cause, cause) << std::hex << code;
        EXPECT_EQ(crash.address, kInstruction) << std::hex << code;
        EXPECT_EQ(crash.access, Access::unknown) << std::hex << code;
    }
}

// What the runtimes raise: Visual C++'s throw that nothing caught, its
// abort; and a code nobody knows.
TEST(UnhandledException, KnowsTheRuntimesCodes) {
    EXPECT_EQ(crash_from(0xE06D7363, {0x19930520, 0, 0, 0}).cause, Cause::msvc_exception);
    EXPECT_EQ(crash_from(0x40000015).cause, Cause::abort);
    EXPECT_EQ(crash_from(0xE0434352).cause, Cause::other);
}

}  // namespace
}  // namespace kavrelo::binding
