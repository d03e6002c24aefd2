// SPDX-License-Identifier: MIT
#include "core/fuzzing/shrinking.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace kavrelo::zavlek_call {
namespace {

// A library whose fault the predicate describes, tried as fresh children
// would try it; what it shows names the input it was shown on.
class PredicateTrial final : public FaultTrial {
public:
    explicit PredicateTrial(std::function<bool(const std::string&)> shows, std::size_t stop_after = SIZE_MAX)
        : shows_(std::move(shows)), stop_after_(stop_after) {}

    std::optional<Shown> first_showing(const std::vector<std::string>& candidates) override {
        ++trials;
        for (std::size_t i = 0; i < candidates.size(); ++i) {
            if (shows_(candidates[i])) return Shown{i, "mostrado en «" + candidates[i] + "»"};
        }
        return std::nullopt;
    }
    bool stopped() const override { return trials >= stop_after_; }

    std::size_t trials = 0;

private:
    std::function<bool(const std::string&)> shows_;
    std::size_t stop_after_;
};

TEST(Shrinking, LeavesOnlyWhatTheFaultNeedsAndSaysWhatThatInputShows) {
    PredicateTrial trial([](const std::string& input) { return input.find("(((") != std::string::npos; });
    const Showing small = minimised(trial, {"1 + (2 * (((x - 3))) / 4) + y", "el primero"});
    EXPECT_EQ(small.input, "(((");
    EXPECT_EQ(small.what, "mostrado en «(((»");
}

TEST(Shrinking, TakesOutATokenThatNoHalvingCutMetWhole) {
    // The fault needs a division by zero: any number of digits before, but
    // the digits of the divisor are what it is about.
    PredicateTrial trial([](const std::string& input) {
        const std::size_t slash = input.find("/0");
        return slash != std::string::npos && slash > 0 && input[slash - 1] >= '0' &&
               input[slash - 1] <= '9' &&
               (slash + 2 == input.size() || input[slash + 2] < '0' || input[slash + 2] > '9');
    });
    const Showing small = minimised(trial, {"x + 12345/0 - 7", "primero"});
    // Made alike as well: digits become 0, so inputs that differ in their
    // digits alone make one finding.
    EXPECT_EQ(small.input, "0/0");
}

TEST(Shrinking, TheCoarsestAlikeFormThatStillShowsTheFaultIsKept) {
    PredicateTrial by_length([](const std::string& input) { return input.size() >= 3; });
    EXPECT_EQ(minimised(by_length, {"\xE9Z9", "-"}).input, "aaa");
    EXPECT_THAT(alike_forms("a1\xE9(Z"), ::testing::ElementsAre("aaaaa", "a0\x80(a"));
}

TEST(Shrinking, AnInputNothingCanBeTakenFromStaysWhole) {
    PredicateTrial exact([](const std::string& input) { return input == "()"; });
    const Showing small = minimised(exact, {"()", "el primero"});
    EXPECT_EQ(small.input, "()");
    EXPECT_EQ(small.what, "el primero");
}

TEST(Shrinking, AnInterruptLeavesTheInputAsFarAsItGot) {
    PredicateTrial stopped([](const std::string&) { return true; }, 0);
    EXPECT_EQ(minimised(stopped, {"1+2+3", "tal cual"}).input, "1+2+3");
    EXPECT_EQ(stopped.trials, 0u);
}

}  // namespace
}  // namespace kavrelo::zavlek_call
