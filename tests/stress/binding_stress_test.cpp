// SPDX-License-Identifier: MIT
// Many calls through the binding, of every entry point, with answers of every
// kind and with binding errors among them, checked answer by answer. Run
// under valgrind's memcheck, which must find nothing lost and no invalid
// access. KAVRELO_STRESS_CALLS sets the number of calls (10,000 by default).
#include "support/doubles.h"

#include <binding/codepage.h>
#include <binding/loader.h>
#include <binding/zavlek_library.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace kavrelo::binding {
namespace {

using recording_double::Result;
using testing::FolderLoader;
using testing::Recorder;

std::size_t calls_to_make() {
    const char* chosen = std::getenv("KAVRELO_STRESS_CALLS");
    return chosen != nullptr ? std::strtoul(chosen, nullptr, 10) : 10'000;
}

std::u16string high_bytes() {
    std::string bytes;
    for (int byte = 0x80; byte <= 0xFF; ++byte) bytes += static_cast<char>(byte);
    return from_eight_bit(bytes);
}

TEST(BindingStress, MixedCallsAnswerRightAndLoseNothing) {
    FolderLoader loader(testing::kComplete);
    ZavlekLibrary library(loader);
    Recorder recorder;
    FolderLoader without_mpila(testing::kNoMPila);
    ZavlekLibrary incomplete(without_mpila);
    FolderLoader missing(testing::kMissing);
    ZavlekLibrary absent(missing);

    const std::u16string text = u"(1+2)*x \u00E1\u20AC\u4E2D\U0001F600";
    const std::u16string echoed = u"(1+2)*x \u00E1\u20AC??";
    struct Answer {
        Result result;
        std::u16string expected;
    };
    const Answer answers[] = {
        {Result::normal, u"resultado"},
        {Result::echo, echoed},
        {Result::empty, u""},
        {Result::null, u""},
        {Result::embedded_nul, std::u16string(u"a\0b", 3)},
        {Result::high_bytes, high_bytes()},
        {Result::scribble, u"resultado"},
    };
    const std::size_t calls = calls_to_make();
    std::size_t errors = 0;
    for (std::size_t call = 0; call < calls; ++call) {
        switch (call % 12) {
            case 0:
                library.mPila();
                break;
            case 1:
                library.tokeniza();
                break;
            case 2:
                EXPECT_THROW(incomplete.mPila(), BindingError);
                ++errors;
                break;
            case 3:
                EXPECT_THROW(absent.parser_SLR(text), BindingError);
                ++errors;
                break;
            case 4:  // a count beyond its block, or the argument given back
                recorder.answer_with(call % 24 == 4 ? Result::bogus_count : Result::argument);
                EXPECT_THROW(library.parser_SLR(text), BindingError);
                ++errors;
                break;
            case 5:
                if (call % 1000 == 5) {  // a long answer now and then: each is 16 MiB
                    recorder.answer_with(Result::sixteen_mb);
                    EXPECT_EQ(library.tokeniza2(text).size(), recording_double::kSixteenMb);
                    break;
                }
                [[fallthrough]];
            default: {
                const Answer& answer = answers[call % std::size(answers)];
                recorder.answer_with(answer.result);
                const std::u16string got = call % 2 == 0 ? library.parser_SLR(text) : library.tokeniza2(text);
                ASSERT_EQ(got, answer.expected) << "call " << call;
            }
        }
    }
    EXPECT_GT(errors, calls / 5);
}

}  // namespace
}  // namespace kavrelo::binding
