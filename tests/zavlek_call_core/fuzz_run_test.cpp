// SPDX-License-Identifier: MIT
#include "core/children/case_channel.h"
#include "core/exit_status.h"
#include "core/fuzzing/fuzz_run.h"
#include "core/reports/fuzz_report.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <set>
#include <string>

namespace kavrelo::zavlek_call {
namespace {

using ::testing::HasSubstr;

// Children that run a library of the test's own, as a fuzz child runs the
// real one: a record per input; any text holding "(" crashes it, each
// input in a copy of its own. An interrupt can be made to come as a given
// child starts.
class LibraryCrashingOnParenthesis final : public Children {
public:
    ChildOutcome run(const std::vector<std::string>&, std::string_view input, std::chrono::milliseconds,
                     ErrorOutput, const Progress&) override {
        ChildOutcome outcome;
        if (++started_ == interrupt_at_) {
            interrupted_ = true;
            return outcome;
        }
        const std::vector<CaseCall> calls = calls_from_parent(input).value();
        for (const CaseCall& call : calls) {
            const bool crashes = call.text.find('(') != std::string::npos;
            outcome.reported += fuzz_record(
                crashes ? InspectedCall{{}, {ChildEnding::Kind::crashed, "la señal 11 (SIGSEGV)", 0, {}}}
                        : InspectedCall{"Cadena aceptada", {}});
        }
        return outcome;
    }
    bool interrupted() const override { return interrupted_; }

    int interrupt_at_ = 0;  // the child, counted from 1, that the interrupt stops; 0 for none

private:
    int started_ = 0;
    bool interrupted_ = false;
};

// A folder whose names may be taken already and whose disk may be full.
class Folder final : public FindingFolder {
public:
    Created create_new(const std::string& name, std::string_view bytes) override {
        if (files.contains(name)) return {Creation::name_taken, {}};
        if (full) return {Creation::failed, std::make_error_code(std::errc::no_space_on_device)};
        files[name] = std::string(bytes);
        return {Creation::written, {}};
    }

    std::map<std::string, std::string> files;
    bool full = false;
};

FuzzSettings settings() {
    FuzzSettings settings;
    settings.seed = 1;
    settings.most_inputs = 200;
    settings.corpus = {"1 + (2 * x)"};
    settings.out = "hallazgos";
    return settings;
}

TEST(FuzzRun, AFindingTakesTheFirstNumberNoFileHoldsAndSaysHowToReproduceIt) {
    LibraryCrashingOnParenthesis children;
    Folder folder;
    folder.files["crash-1.txt"] = "an earlier run's finding";
    const FuzzSummary summary = fuzz(children, folder, settings(), {});
    ASSERT_EQ(summary.findings.size(), 1u);
    EXPECT_EQ(summary.findings[0].file, "crash-2.txt");
    EXPECT_EQ(folder.files["crash-1.txt"], "an earlier run's finding");
    EXPECT_EQ(folder.files["crash-2.txt"], "(");
    EXPECT_THAT(fuzz_table(summary, settings()),
                HasSubstr("  hallazgos/crash-2.txt  la biblioteca terminó el proceso durante parser_SLR: la "
                          "señal 11 (SIGSEGV)\n    zavlek-call parser_SLR --file hallazgos/crash-2.txt\n"));
    EXPECT_EQ(fuzz_exit_status(summary), kFindings);
}

TEST(FuzzRun, AFindingThatCannotBeSavedIsShownWholeAndTheRunEndsSayingSo) {
    LibraryCrashingOnParenthesis children;
    Folder folder;
    folder.full = true;
    const FuzzSummary summary = fuzz(children, folder, settings(), {});
    ASSERT_EQ(summary.findings.size(), 1u);
    EXPECT_EQ(summary.findings[0].file, "");
    EXPECT_THAT(fuzz_table(summary, settings()),
                HasSubstr("  (no se pudo guardar crash-1.txt: el disco está lleno)  la biblioteca terminó el "
                          "proceso durante parser_SLR: la señal 11 (SIGSEGV)\n"
                          "    la entrada, en hexadecimal: 28\n"));
    EXPECT_THAT(fuzz_json(summary, settings()), HasSubstr("\"archivo\": null"));
    EXPECT_EQ(fuzz_exit_status(summary), kOutputNotWritten);
}

TEST(FuzzRun, AFaultSeenWhenTheInterruptCameIsKeptAsItWasSeen) {
    LibraryCrashingOnParenthesis children;
    // The first child shows the crash; the interrupt comes as the second
    // starts to confirm it.
    children.interrupt_at_ = 2;
    Folder folder;
    const FuzzSummary summary = fuzz(children, folder, settings(), {});
    ASSERT_EQ(summary.findings.size(), 1u);
    EXPECT_EQ(summary.findings[0].file, "crash-1.txt");
    EXPECT_THAT(summary.findings[0].what, HasSubstr("sin confirmar ni reducir: la ejecución se interrumpió"));
    EXPECT_EQ(fuzz_exit_status(summary), kFindings);
}

}  // namespace
}  // namespace kavrelo::zavlek_call
