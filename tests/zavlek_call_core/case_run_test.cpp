// SPDX-License-Identifier: MIT
// A run's cases as the parent judges what its children sent: the search of
// a pattern happens in the child, under the case's time limit, and a search
// cut short fails its case alone.
#include "core/cases/case_run.h"
#include "core/children/case_channel.h"
#include "core/children/case_output.h"
#include "core/exit_status.h"

#include <gtest/gtest.h>

#include <chrono>
#include <deque>

namespace kavrelo::zavlek_call {
namespace {

using std::chrono::milliseconds;

// Children that send what the test scripted, one outcome per child, and
// print what it scripted for each, a byte at a time, as a pipe may hand it
// over; they keep what each was given and what progress said at each record.
class ScriptedChildren final : public Children {
public:
    explicit ScriptedChildren(std::deque<ChildOutcome> outcomes, std::deque<std::string> printed = {})
        : outcomes_(std::move(outcomes)), printed_(std::move(printed)) {}

    ChildOutcome run(const std::vector<std::string>&, std::string_view input, milliseconds, ErrorOutput,
                     const Progress& progress, const OutputReader& reader) override {
        inputs.emplace_back(input);
        ChildOutcome outcome = outcomes_.front();
        outcomes_.pop_front();
        if (!printed_.empty()) {
            for (std::size_t i = 0; i < printed_.front().size(); ++i) reader(printed_.front().substr(i, 1));
            printed_.pop_front();
        }
        const CaseRecords sent = case_records(outcome.reported);
        std::size_t length = 0;
        for (const CaseRecord& record : sent.records) {
            length = static_cast<std::size_t>(record.content.data() + record.content.size() -
                                              outcome.reported.data());
            steps.push_back(progress(std::string_view(outcome.reported).substr(0, length)));
        }
        return outcome;
    }
    bool interrupted() const override { return false; }

    std::vector<std::string> inputs;
    std::vector<bool> steps;

private:
    std::deque<ChildOutcome> outcomes_;
    std::deque<std::string> printed_;
};

ChildOutcome sent(ChildOutcome::Ending ending, const std::string& reported) {
    return {ending, 0, {}, reported};
}

TEST(RunCases, ASearchStoppedAtTheLimitFailsItsCaseWithTheAnswerAndANewChildRunsTheRest) {
    const std::vector<TestCase> cases =
        read_case_file("casos.txt", "tokeniza2 a\n~ (a+)+$\ntokeniza2 b\n= b\n").cases;
    ScriptedChildren children({sent(ChildOutcome::Ending::timed_out, case_record({kDone, "aaab"})),
                               sent(ChildOutcome::Ending::exited, case_record({kDone, "b"}))});
    const CaseRun run = run_cases(children, cases, {}, milliseconds(1500));
    ASSERT_EQ(run.results.size(), 2u);
    EXPECT_FALSE(run.results[0].passed);
    EXPECT_EQ(run.results[0].obtained, u"aaab");
    EXPECT_EQ(run.results[0].failure,
              "la búsqueda del patrón en la respuesta no terminó en 1,5 s; se detuvo el proceso");
    EXPECT_TRUE(run.results[1].passed);
    // The first child searches the pattern; the second runs the second case alone.
    const std::optional<std::vector<CaseCall>> first = calls_from_parent(children.inputs[0]);
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ((*first)[0].pattern, "(a+)+$");
    EXPECT_FALSE((*first)[1].pattern.has_value());
    EXPECT_EQ(calls_from_parent(children.inputs[1])->size(), 1u);
}

TEST(RunCases, TheLimitHoldsForACallAndItsSearchTogether) {
    const std::vector<TestCase> cases =
        read_case_file("casos.txt", "tokeniza2 a\n~ ^a\ntokeniza2 b\n~ ^a\nmPila\n").cases;
    ScriptedChildren children(
        {sent(ChildOutcome::Ending::exited, case_record({kDone, "a"}) + search_record(Search::found) +
                                                case_record({kDone, "b"}) + search_record(Search::not_found) +
                                                case_record({kDone, {}}))});
    const CaseRun run = run_cases(children, cases, {}, milliseconds(1000));
    // The answer of a case with a pattern completes no step: its search does.
    EXPECT_EQ(children.steps, (std::vector<bool>{false, true, false, true, true}));
    ASSERT_EQ(run.results.size(), 3u);
    EXPECT_TRUE(run.results[0].passed);
    EXPECT_FALSE(run.results[1].passed);
    EXPECT_EQ(run.results[1].obtained, u"b");
    EXPECT_TRUE(run.results[1].failure.empty());
    EXPECT_TRUE(run.results[2].passed);
}

TEST(RunCases, EachCaseHasWhatWasPrintedBeforeItsMarkAndTheCaseUnderWayWhatFollowedTheLast) {
    const std::vector<TestCase> cases =
        read_case_file("casos.txt", "tokeniza2 a\n= a\nmPila\ntokeniza2 b\n= b\nmPila\nmPila\n").cases;
    ScriptedChildren children(
        {sent(ChildOutcome::Ending::crashed, case_record({kDone, "a"}) + case_record({kDone, {}})),
         sent(ChildOutcome::Ending::exited, case_record({kDone, {}}) + case_record({kDone, {}}))},
        {// A mark due later, or one printed by the library, is no mark.
         "antes\n" + case_output_mark(0) + case_output_mark(0) + case_output_mark(2) + case_output_mark(1) +
             "hasta el fallo",
         case_output_mark(0) + "otro proceso\r\n" + case_output_mark(1)});
    const CaseRun run = run_cases(children, cases, {}, milliseconds(1000));
    ASSERT_EQ(run.results.size(), 5u);
    EXPECT_EQ(run.results[0].output, "antes\n");
    EXPECT_EQ(run.results[1].output,
              "\\x1F"
              "zavlek-call: fin de la salida del caso 0\\x1F\\x1F"
              "zavlek-call: fin de la salida del caso 2\\x1F");
    EXPECT_EQ(run.results[2].output, "hasta el fallo");
    EXPECT_EQ(run.results[3].output, "");
    EXPECT_EQ(run.results[4].output, "otro proceso\n");
}

TEST(CaseOutput, BeyondFourKilobytesIsCutWhereACharacterStartsAndTheRestCounted) {
    const std::string four_bytes = "\xF0\x9F\x98\x80";
    EXPECT_EQ(shown_output(std::string(4096, 'x'), 4096), std::string(4096, 'x'));
    EXPECT_EQ(shown_output(std::string(4093, 'x') + four_bytes, 5000),
              std::string(4093, 'x') + "\xE2\x80\xA6 (907 bytes más)");
    EXPECT_EQ(shown_output(std::string(4092, 'x') + four_bytes + "y", 4097),
              std::string(4092, 'x') + four_bytes + "\xE2\x80\xA6 (1 byte más)");
    EXPECT_EQ(shown_output("\xE9\x1B[31m\tok\n", 9), "\\xE9\\x1B[31m\\x09ok\n");
}

TEST(RunCases, TheChildSearchesAsTheCaseFileMeansAndSaysWhatItCannotSearch) {
    EXPECT_EQ(searched("^Error de sintaxis", u"Error de sintaxis en la posición 3"), Search::found);
    EXPECT_EQ(searched("posición [0-9]$", u"Error de sintaxis en la posición 3"), Search::found);
    EXPECT_EQ(searched("^Cadena", u"Error"), Search::not_found);
    EXPECT_EQ(searched("(", u"Error"), Search::too_complex);
}

}  // namespace
}  // namespace kavrelo::zavlek_call
