// SPDX-License-Identifier: MIT
// A fuzz run as the parent reads its children's records: children scripted
// here send what a hostile library can make them send.
#include "core/children/case_channel.h"
#include "core/children/ending.h"
#include "core/exit_status.h"
#include "core/fuzzing/fuzz_run.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

namespace kavrelo::zavlek_call {
namespace {

// What a child sends for the calls it was given; whether it was told to give
// each input a copy of its own.
using Script = std::function<std::string(const std::vector<CaseCall>& calls, bool copy_per_input)>;

class ScriptedChildren final : public Children {
public:
    explicit ScriptedChildren(Script script) : script_(std::move(script)) {}

    ChildOutcome run(const std::vector<std::string>& arguments, std::string_view input,
                     std::chrono::milliseconds, ErrorOutput, const Progress&) override {
        const bool copy_per_input =
            std::find(arguments.begin(), arguments.end(), kCopyPerInput) != arguments.end();
        return {ChildOutcome::Ending::exited, 0, {}, script_(*calls_from_parent(input), copy_per_input)};
    }
    bool interrupted() const override { return false; }

private:
    Script script_;
};

std::string answer(std::string_view text) { return case_record({kDone, std::string(text)}); }

std::string crash() {
    return case_record(
        {kFindings, ending_record({ChildEnding::Kind::crashed, "la señal 11 (SIGSEGV)", 0, {}})});
}

class FuzzRun : public ::testing::Test {
protected:
    FuzzRun() {
        settings.most_inputs = 40;
        settings.seed = 1;
        settings.out = (std::filesystem::path(::testing::TempDir()) /
                        ::testing::UnitTest::GetInstance()->current_test_info()->name())
                           .string();
        std::filesystem::remove_all(settings.out);
    }

    std::string saved(const std::string& file) const {
        std::ifstream stream(std::filesystem::path(settings.out) / file, std::ios::binary);
        return {std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
    }

    FuzzSettings settings;
};

TEST_F(FuzzRun, RecordsBeyondOnePerInputAreCountedAndTakenForNoInputs) {
    ScriptedChildren children([](const std::vector<CaseCall>& calls, bool) {
        std::string sent = answer("Cadena aceptada");
        for (std::size_t i = 0; i < calls.size(); ++i) sent += answer("Cadena aceptada");
        return sent + answer("forjado") + "7 3\nabc";
    });
    const FuzzSummary summary = fuzz(children, settings, {});
    EXPECT_EQ(summary.inputs, 40u);
    EXPECT_EQ(summary.stray_records, 2u);
    EXPECT_EQ(summary.shapes, 1u);
    EXPECT_TRUE(summary.findings.empty());
}

TEST_F(FuzzRun, AChildThatEndsInTheCallBeforeTheInputsBlamesNoInput) {
    ScriptedChildren children([](const std::vector<CaseCall>&, bool) { return std::string(); });
    const FuzzSummary summary = fuzz(children, settings, {});
    EXPECT_EQ(summary.inputs, 0u);
    ASSERT_EQ(summary.findings.size(), 1u);
    EXPECT_EQ(summary.findings[0].file, "crash-1.txt");
    EXPECT_EQ(summary.findings[0].what,
              "en la llamada que precede a las entradas, con «2 * (x + 3)»: la biblioteca terminó el proceso "
              "durante parser_SLR (estado 0) sin responder");
    EXPECT_EQ(saved("crash-1.txt"), "2 * (x + 3)");
}

// A library whose every second call in one process crashes: a fresh copy
// never shows it.
TEST_F(FuzzRun, AFaultAFreshCopyDoesNotShowIsSaidOnceWithBothAnswers) {
    std::size_t trials = 0;
    ScriptedChildren children([&trials](const std::vector<CaseCall>& calls, bool copy_per_input) {
        std::string sent = answer("Cadena aceptada");
        trials += copy_per_input ? 1 : 0;
        for (std::size_t i = 0; i < calls.size(); ++i) {
            sent += !copy_per_input && i % 2 == 1 ? crash() : answer("Cadena aceptada");
        }
        return sent;
    });
    const FuzzSummary summary = fuzz(children, settings, {});
    EXPECT_EQ(summary.inputs, 40u);
    ASSERT_EQ(summary.findings.size(), 1u);
    EXPECT_EQ(summary.findings[0].file, "stateful-1.txt");
    EXPECT_EQ(
        summary.findings[0].what,
        "la respuesta depende de llamadas anteriores: la biblioteca terminó el proceso durante parser_SLR: "
        "la señal 11 (SIGSEGV) tras otras entradas, «Cadena aceptada» en un proceso nuevo");
    EXPECT_GE(trials, 1u);
}

TEST_F(FuzzRun, WithACopyPerInputAFaultAFreshCopyDoesNotShowIsNoFinding) {
    settings.copy_per_input = true;
    bool first = true;
    ScriptedChildren children([&first](const std::vector<CaseCall>& calls, bool copy_per_input) {
        EXPECT_TRUE(copy_per_input);
        std::string sent = answer("Cadena aceptada");
        for (std::size_t i = 0; i < calls.size(); ++i)
            sent += first && i == 3 ? crash() : answer("Cadena aceptada");
        first = false;
        return sent;
    });
    const FuzzSummary summary = fuzz(children, settings, {});
    EXPECT_EQ(summary.inputs, 40u);
    EXPECT_TRUE(summary.findings.empty());
}

}  // namespace
}  // namespace kavrelo::zavlek_call
