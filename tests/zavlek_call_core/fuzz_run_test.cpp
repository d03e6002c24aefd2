// SPDX-License-Identifier: MIT
// A fuzz run as the parent reads its children's records: children scripted
// here send what a hostile library can make them send.
#include "core/children/case_channel.h"
#include "core/children/ending.h"
#include "core/exit_status.h"
#include "core/fuzzing/fuzz_inputs.h"
#include "core/fuzzing/fuzz_run.h"
#include "core/reports/fuzz_report.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <map>
#include <string>
#include <system_error>
#include <vector>

namespace kavrelo::zavlek_call {
namespace {

// What a child sends for the calls it was given; whether it was told to give
// each input a copy of its own.
using Script = std::function<std::string(const std::vector<CaseCall>& calls, bool copy_per_input)>;

// An interrupt can be made to come as a given child starts (counted from 1).
class ScriptedChildren final : public Children {
public:
    explicit ScriptedChildren(Script script, int interrupted_at = 0)
        : script_(std::move(script)), interrupted_at_(interrupted_at) {}

    ChildOutcome run(const std::vector<std::string>& arguments, std::string_view input,
                     std::chrono::milliseconds, ErrorOutput, const Progress&, const OutputReader&) override {
        if (++started_ == interrupted_at_) interrupted_ = true;
        if (interrupted_) return {ChildOutcome::Ending::crashed, 0, "la señal 2 (SIGINT)", {}};
        const bool copy_per_input =
            std::find(arguments.begin(), arguments.end(), kCopyPerInput) != arguments.end();
        return {ChildOutcome::Ending::exited, 0, {}, script_(*calls_from_parent(input), copy_per_input)};
    }
    bool interrupted() const override { return interrupted_; }

private:
    Script script_;
    int interrupted_at_;
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
        settings.out = "hallazgos";
    }

    std::string saved(const std::string& file) { return folder.files[file]; }

    FuzzSummary fuzz(Children& children) { return zavlek_call::fuzz(children, folder, settings, {}); }

    FuzzSettings settings;
    Folder folder;
};

TEST_F(FuzzRun, RecordsBeyondOnePerInputAreCountedAndTakenForNoInputs) {
    ScriptedChildren children([](const std::vector<CaseCall>& calls, bool) {
        std::string sent = answer("Cadena aceptada");
        for (std::size_t i = 0; i < calls.size(); ++i) sent += answer("Cadena aceptada");
        return sent + answer("forjado") + "7 3\nabc";
    });
    const FuzzSummary summary = fuzz(children);
    EXPECT_EQ(summary.inputs, 40u);
    EXPECT_EQ(summary.stray_records, 2u);
    EXPECT_EQ(summary.shapes, 1u);
    EXPECT_TRUE(summary.findings.empty());
}

TEST_F(FuzzRun, AChildThatEndsInTheCallBeforeTheInputsBlamesNoInput) {
    ScriptedChildren children([](const std::vector<CaseCall>&, bool) { return std::string(); });
    const FuzzSummary summary = fuzz(children);
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
    const FuzzSummary summary = fuzz(children);
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
    const FuzzSummary summary = fuzz(children);
    EXPECT_EQ(summary.inputs, 40u);
    EXPECT_TRUE(summary.findings.empty());
}

// A tokenizer of the test's own, that takes ASCII letters and '_' for names:
// each input's names, as the reference tokeniza2 lists them.
std::string listing_names(const std::vector<CaseCall>& calls, bool) {
    const auto is_letter = [](char byte) {
        return std::isalpha(static_cast<unsigned char>(byte)) || byte == '_';
    };
    std::string sent = answer("Cadena aceptada");
    for (const CaseCall& call : calls) {
        std::string listed = "componentes:";
        for (auto at = std::find_if(call.text.begin(), call.text.end(), is_letter); at != call.text.end();
             at = std::find_if(at, call.text.end(), is_letter)) {
            const auto end = std::find_if_not(at, call.text.end(), is_letter);
            listed += " ID(" + std::string(at, end) + ")";
            at = end;
        }
        sent += answer(listed.size() > 40 ? listed.substr(0, listed.find(')', 40) + 1) : listed);
    }
    return sent;
}

TEST_F(FuzzRun, AnswersThatDifferOnlyInTheInputsNamesAreOneShape) {
    settings.most_inputs = 1000;
    ScriptedChildren children(listing_names);
    const FuzzSummary summary = fuzz(children);
    EXPECT_EQ(summary.inputs, 1000u);
    // However many names, none, one, two... before the listing is cut.
    EXPECT_LE(summary.shapes, 8u);
    EXPECT_EQ(answer_shape("precio + x1", "2 componentes: ID(precio) OP(+) ID(x1) en 12"),
              answer_shape("b+total_3", "2 componentes: ID(b) OP(+) ID(total_3) en 9"));
    EXPECT_NE(answer_shape("b", "Cadena aceptada"), answer_shape("b", "Cadena rechazada"));
    EXPECT_NE(answer_shape("a + b", "ID(a) OP(+) ID(b)"), answer_shape("a + 2", "ID(a) OP(+) NUM(2)"));
}

// Every input answered in a shape of its own.
std::string shape_per_input(const std::vector<CaseCall>& calls, bool) {
    std::string sent = answer("Cadena aceptada");
    for (const CaseCall& call : calls) {
        std::string shape;
        for (const char byte : call.text) shape += "+-*/()"[static_cast<unsigned char>(byte) % 6];
        sent += answer(shape);
    }
    return sent;
}

TEST_F(FuzzRun, TheShapesAndTheCorpusAreKeptWithinTheirBounds) {
    settings.most_inputs = 2000;
    settings.most_shapes = 300;
    settings.most_corpus_inputs = 100;
    ScriptedChildren children(shape_per_input);
    const FuzzSummary summary = fuzz(children);
    EXPECT_EQ(summary.inputs, 2000u);
    EXPECT_EQ(summary.shapes, 300u);
    EXPECT_EQ(summary.corpus, 100u);
    EXPECT_TRUE(summary.findings.empty());
}

TEST(FuzzInputs, TheCorpusKeepsItsShortestInputsWithinItsBytes) {
    FuzzInputs inputs(1);
    inputs.add_to_corpus("1 + x");
    for (int i = 0; i < 100; ++i) inputs.add_to_corpus(std::string(kLongestFuzzInput, '1'));
    // The short one stays, beside as many long ones as fit.
    EXPECT_EQ(inputs.corpus_bytes(), (kMostCorpusBytes / kLongestFuzzInput - 1) * kLongestFuzzInput + 5);
}

// A library of the test's own that crashes on any "(": each input in a
// copy of its own, as after a crash.
std::string crashing_on_parenthesis(const std::vector<CaseCall>& calls, bool) {
    std::string sent = answer("Cadena aceptada");
    for (const CaseCall& call : calls) {
        sent += call.text.find('(') != std::string::npos ? crash() : answer("Cadena aceptada");
    }
    return sent;
}

// A crash as the child's handler says it: a memory fault at an address
// that differs from input to input, in the library's frame at that offset.
std::string crash_at(std::size_t offset, std::size_t address) {
    const std::string facts = "0 " + std::to_string(address) + " libZavlek.so\n" + std::to_string(offset) +
                              " 1c tokens_of\n2a0 8b parser_SLR";
    return case_record(
        {kFindings, ending_record({ChildEnding::Kind::crashed, "la señal 11 (SIGSEGV)", 0, {}, {}, facts})});
}

// A library of the test's own with two faults: a ")" or a "*" read in one
// place, "/" in another.
TEST_F(FuzzRun, CrashesAtOnePlaceAreOneFindingCountedWithItsShortestInput) {
    settings.corpus = {"1 + (2 * x)", "8 / 2"};
    settings.most_inputs = 200;
    std::size_t at_the_first_place = 0;
    ScriptedChildren children([&](const std::vector<CaseCall>& calls, bool copy_per_input) {
        std::string sent = answer("Cadena aceptada");
        for (std::size_t i = 0; i < calls.size(); ++i) {
            const std::string& text = calls[i].text;
            if (text.find_first_of(")*") != std::string::npos) {
                at_the_first_place += copy_per_input ? 0 : 1;
                sent += crash_at(100, 16 + text.size());
            } else {
                sent += text.find('/') != std::string::npos ? crash_at(200, 16) : answer("Cadena aceptada");
            }
        }
        return sent;
    });
    const FuzzSummary summary = fuzz(children);
    ASSERT_EQ(summary.findings.size(), 2u);
    ASSERT_GE(at_the_first_place, 2u);
    EXPECT_EQ(summary.findings[0].inputs, at_the_first_place);
    const std::string first_input = saved(summary.findings[0].file);
    EXPECT_TRUE(first_input == ")" || first_input == "*") << first_input;
    EXPECT_EQ(saved(summary.findings[1].file), "/");
    EXPECT_THAT(summary.findings[0].what,
                ::testing::HasSubstr("— en tokens_of+0x1c, llamada desde parser_SLR+0x8b"));
    EXPECT_THAT(fuzz_table(summary, settings),
                ::testing::HasSubstr("\n    " + std::to_string(at_the_first_place) +
                                     " entradas llegaron a este fallo\n"));
    EXPECT_THAT(fuzz_json(summary, settings),
                ::testing::HasSubstr("\"entradas\": " + std::to_string(at_the_first_place) + "}"));
}

TEST_F(FuzzRun, AFindingTakesTheFirstNumberNoFileHoldsAndSaysHowToReproduceIt) {
    settings.corpus = {"1 + (2 * x)"};
    folder.files["crash-1.txt"] = "an earlier run's finding";
    ScriptedChildren children(crashing_on_parenthesis);
    const FuzzSummary summary = fuzz(children);
    ASSERT_EQ(summary.findings.size(), 1u);
    EXPECT_EQ(summary.findings[0].file, "crash-2.txt");
    EXPECT_EQ(saved("crash-1.txt"), "an earlier run's finding");
    EXPECT_EQ(saved("crash-2.txt"), "(");
    EXPECT_THAT(fuzz_table(summary, settings),
                ::testing::HasSubstr("  hallazgos/crash-2.txt  la biblioteca terminó el proceso durante "
                                     "parser_SLR: la señal 11 (SIGSEGV)\n    zavlek-call parser_SLR --file "
                                     "hallazgos/crash-2.txt\n"));
    EXPECT_EQ(fuzz_exit_status(summary), kFindings);
}

TEST_F(FuzzRun, AFindingThatCannotBeSavedIsShownWholeAndTheRunEndsSayingSo) {
    settings.corpus = {"1 + (2 * x)"};
    folder.full = true;
    ScriptedChildren children(crashing_on_parenthesis);
    const FuzzSummary summary = fuzz(children);
    ASSERT_EQ(summary.findings.size(), 1u);
    EXPECT_EQ(summary.findings[0].file, "");
    EXPECT_THAT(fuzz_table(summary, settings),
                ::testing::HasSubstr("  (no se pudo guardar crash-1.txt: el disco está lleno)  la biblioteca "
                                     "terminó el proceso durante parser_SLR: la señal 11 (SIGSEGV)\n"
                                     "    la entrada, en hexadecimal: 28\n"));
    EXPECT_THAT(fuzz_json(summary, settings), ::testing::HasSubstr("\"archivo\": null"));
    EXPECT_EQ(fuzz_exit_status(summary), kOutputNotWritten);
}

TEST_F(FuzzRun, AFaultSeenWhenTheInterruptCameIsKeptAsItWasSeen) {
    settings.corpus = {"1 + (2 * x)"};
    // The first child shows crashes; the interrupt comes as the second
    // starts to confirm the first of them.
    ScriptedChildren children(crashing_on_parenthesis, 2);
    const FuzzSummary summary = fuzz(children);
    ASSERT_EQ(summary.findings.size(), 1u);
    EXPECT_EQ(summary.findings[0].file, "crash-1.txt");
    EXPECT_THAT(summary.findings[0].what,
                ::testing::HasSubstr("sin confirmar ni reducir: la ejecución se interrumpió"));
    EXPECT_EQ(fuzz_exit_status(summary), kFindings);
}

}  // namespace
}  // namespace kavrelo::zavlek_call
