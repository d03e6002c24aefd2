// SPDX-License-Identifier: MIT
// How a child ended, as the parent classifies and words it, and the records
// and report it sends.
#include "core/children/case_channel.h"
#include "core/children/child_report.h"
#include "core/children/ending.h"
#include "core/exit_status.h"
#include "core/nearest_name.h"

#include <binding/escaped_exception.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>

namespace kavrelo::zavlek_call {
namespace {

using Kind = ChildEnding::Kind;
using std::chrono::milliseconds;

ChildOutcome exited(int status) { return {ChildOutcome::Ending::exited, status, {}, {}}; }

TEST(ChildEnding, AChildThatLeftItsCallUnansweredIsClassifiedByHowItEnded) {
    const ChildEnding ended = unanswered(exited(3), milliseconds(2500));
    EXPECT_EQ(ended.kind, Kind::ended_process);
    EXPECT_EQ(ended.exit_status, 3);
    const ChildEnding crashed =
        unanswered({ChildOutcome::Ending::crashed, 0, "la señal 11 (SIGSEGV)", {}}, milliseconds(2500));
    EXPECT_EQ(crashed.kind, Kind::crashed);
    EXPECT_EQ(crashed.cause, "la señal 11 (SIGSEGV)");
    const ChildEnding late = unanswered({ChildOutcome::Ending::timed_out, 0, {}, {}}, milliseconds(2500));
    EXPECT_EQ(late.kind, Kind::timed_out);
    EXPECT_EQ(late.limit, milliseconds(2500));
}

TEST(ChildEnding, EachEndingIsWordedForACallAndForACheck) {
    const ChildEnding ended{Kind::ended_process, {}, 0, {}};
    EXPECT_EQ(in_words(ended, "parser_SLR"),
              "la biblioteca terminó el proceso durante parser_SLR (estado 0) sin responder");
    EXPECT_EQ(in_words(ended, {}), "la biblioteca terminó el proceso (estado 0) sin responder");
    const ChildEnding crashed{Kind::crashed, "la excepción 0xC0000005 (violación de acceso)", 0, {}};
    EXPECT_EQ(
        in_words(crashed, "mPila"),
        "la biblioteca terminó el proceso durante mPila: la excepción 0xC0000005 (violación de acceso)");
    const ChildEnding late{Kind::timed_out, {}, 0, milliseconds(2500)};
    EXPECT_EQ(in_words(late, "tokeniza2"), "tokeniza2 no volvió en 2,5 s; se detuvo el proceso");
    EXPECT_EQ(in_words(late, {}), "no terminó en 2,5 s; se detuvo");
    EXPECT_EQ(in_words({Kind::leaked, "parser_SLR dejó 1.024 bytes sin liberar", 0, {}}, "parser_SLR"),
              "parser_SLR dejó 1.024 bytes sin liberar");
    EXPECT_EQ(in_words({Kind::returned, {}, 0, {}}, "parser_SLR"), "");
}

// What the child's handler sends as a student's parser dies: a read of an
// empty vector's back() in a static function (no symbol holds it), called
// from parser_SLR three times over, after a case's record.
TEST(ChildEnding, ACrashTheChildSaidIsWordedWithItsCauseAndTheLibrarysFrames) {
    const std::string facts =
        "0 fffffffffffffff8 libZavlek.so\n2190 0\n13eb 8b parser_SLR\n13eb 8b parser_SLR\n"
        "13eb 8b parser_SLR\n15a0 10 _ZN6Parser6factorEv";
    const std::string sent =
        case_record({kDone, "Cadena aceptada"}) + "crash " + std::to_string(facts.size()) + "\n" + facts;
    const ChildEnding crashed =
        unanswered({ChildOutcome::Ending::crashed, 0, "la señal 11 (SIGSEGV)", sent}, milliseconds(2500));
    const std::string words =
        "la biblioteca terminó el proceso durante parser_SLR: violación de acceso a memoria en la dirección "
        "0xfffffffffffffff8 — en el desplazamiento 0x2190, llamada desde parser_SLR+0x8b (3 veces), llamada "
        "desde Parser::factor()+0x10 (libZavlek.so)";
    EXPECT_EQ(in_words(crashed, "parser_SLR"), words);
    const std::optional<ChildEnding> read = ending_from_record(ending_record(crashed));
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->cause, "la señal 11 (SIGSEGV)");
    EXPECT_EQ(in_words(*read, "parser_SLR"), words);
    // A stack that ran out says the cure after where it ran out.
    const ChildEnding overflow{
        Kind::crashed, "la señal 11 (SIGSEGV)", 0, {}, {}, "1 7ffd0ff8 libZavlek.so\n14d6 0"};
    EXPECT_EQ(
        in_words(overflow, {}),
        "la biblioteca terminó el proceso: desbordamiento de pila (0x7ffd0ff8 está al final de la pila) — "
        "en el desplazamiento 0x14d6 (libZavlek.so): una recursión sin límite. Limite la profundidad de la "
        "recursión o use una pila propia");
    // Facts out of shape, or a record cut short, leave the signal's words.
    for (const char* bad : {"crash 40\n0 10 libZavlek.so", "crash 2\nzz", "crash 3\n9 1"}) {
        const ChildEnding unsaid =
            unanswered({ChildOutcome::Ending::crashed, 0, "la señal 11 (SIGSEGV)", bad}, milliseconds(2500));
        EXPECT_EQ(in_words(unsaid, {}), "la biblioteca terminó el proceso: la señal 11 (SIGSEGV)") << bad;
    }
}

// What a student's parser lets out of parser_SLR: std::stoi's own exception,
// and a thrown int, which carries no message.
ChildEnding caught_from(const std::function<void()>& library_call) {
    try {
        library_call();
    } catch (...) {
        return thrown(binding::escaped_exception("parser_SLR"));
    }
    return {};
}

TEST(ChildEnding, AnEscapedExceptionIsNamedByItsTypeAndMessageWithItsCure) {
    const ChildEnding out_of_range = caught_from([] { static_cast<void>(std::stoi("99999999999")); });
    EXPECT_EQ(out_of_range.kind, Kind::threw);
    EXPECT_EQ(out_of_range.cause, "std::out_of_range");
    EXPECT_EQ(out_of_range.message, "stoi");
    EXPECT_EQ(
        in_words(out_of_range, "parser_SLR"),
        "parser_SLR dejó salir una excepción de C++: std::out_of_range («stoi»). Una excepción no puede "
        "cruzar un punto de entrada, pues quien llama no es C++: atrápela dentro de parser_SLR (try { … } "
        "catch (const std::exception& e) { … }) y devuelva una cadena que explique el error");
    const ChildEnding number = caught_from([] { throw 7; });
    EXPECT_EQ(number.cause, "int");
    EXPECT_THAT(in_words(number, {}),
                ::testing::StartsWith("la biblioteca dejó salir una excepción de C++: int. "));
}

TEST(ChildEnding, EveryEndingCrossesTheChannelAsItWasWhateverItsCauseHolds) {
    for (const ChildEnding& sent :
         {ChildEnding{Kind::returned, {}, 0, {}}, ChildEnding{Kind::crashed, "la señal 6\n(SIGABRT)", 0, {}},
          ChildEnding{Kind::ended_process, {}, -1, {}},
          ChildEnding{Kind::broke_contract, std::string("a\0b\n\xFF", 5), 0, {}},
          ChildEnding{Kind::leaked, "dejó 600 bytes", 0, {}},
          ChildEnding{Kind::threw, "std::out_of_range", 0, {}, "stoi\nen dos líneas"},
          ChildEnding{Kind::threw, "int", 0, {}, {}}, ChildEnding{Kind::out_of_memory, {}, 0, {}}}) {
        const std::optional<ChildEnding> read = ending_from_record(ending_record(sent));
        ASSERT_TRUE(read.has_value());
        EXPECT_EQ(read->kind, sent.kind);
        EXPECT_EQ(read->cause, sent.cause);
        EXPECT_EQ(read->exit_status, sent.exit_status);
        EXPECT_EQ(read->message, sent.message);
    }
    for (const char* garbage : {"", "crashed", "crashed 0", "estalló 0\n", "crashed x\n", "crashed 1x\n",
                                " 0\n", "threw 0\nstd::out_of_range"}) {
        EXPECT_FALSE(ending_from_record(garbage).has_value()) << garbage;
    }
}

TEST(ChildReport, IsBelievedOnlyWholeAndFromAChildThatEndedWithItsStatus) {
    const std::string sent = sealed({kNotBound, "respuesta\n\x1F con bytes"});
    ASSERT_TRUE(opened(sent, kNotBound).has_value());
    EXPECT_EQ(opened(sent, kNotBound)->content, "respuesta\n\x1F con bytes");
    EXPECT_FALSE(opened(sent, kDone).has_value());
    EXPECT_FALSE(opened(sent.substr(0, sent.size() - 1), kNotBound).has_value());
    // A library that prints a report of its own and ends the process.
    EXPECT_FALSE(opened("Cadena aceptada\n", kDone).has_value());
}

TEST(CaseChannel, RecordsAreReadWholeOnlyAndTheirBytesAsSent) {
    const std::string sent =
        case_record({kDone, "uno\ndos"}) + case_record({kNotBound, std::string("\0", 1)});
    const CaseRecords whole = case_records(sent);
    ASSERT_EQ(whole.records.size(), 2u);
    EXPECT_EQ(whole.records[0].content, "uno\ndos");
    EXPECT_EQ(whole.records[1].status, kNotBound);
    EXPECT_EQ(whole.records[1].content, std::string_view("\0", 1));
    EXPECT_EQ(whole.length, sent.size());
    EXPECT_EQ(case_records(sent.substr(0, sent.size() - 1)).records.size(), 1u);

    const Progress progress = record_by_record();
    EXPECT_FALSE(progress(sent.substr(0, 5)));
    EXPECT_TRUE(progress(sent.substr(0, whole.records[0].content.size() + 4)));
    EXPECT_FALSE(progress(sent.substr(0, sent.size() - 1)));
    EXPECT_TRUE(progress(sent));
}

TEST(CaseChannel, CallsReachTheChildAsTheParentSentThem) {
    const std::vector<CaseCall> calls = {{binding::EntryPoint::parser_SLR, "1 +\n2", "^~ \n"},
                                         {binding::EntryPoint::mPila, {}},
                                         {binding::EntryPoint::tokeniza2, "~", ""}};
    const std::optional<std::vector<CaseCall>> read = calls_from_parent(calls_for_child(calls));
    ASSERT_TRUE(read.has_value());
    ASSERT_EQ(read->size(), 3u);
    EXPECT_EQ((*read)[0].text, "1 +\n2");
    EXPECT_EQ((*read)[0].pattern, "^~ \n");
    EXPECT_EQ((*read)[1].entry_point, binding::EntryPoint::mPila);
    EXPECT_FALSE((*read)[1].pattern.has_value());
    EXPECT_EQ((*read)[2].text, "~");
    EXPECT_EQ((*read)[2].pattern, "");
    EXPECT_FALSE(calls_from_parent("frobnicate 1\nx").has_value());
    // A pattern belongs to the call before it, and a call has one at most.
    EXPECT_FALSE(calls_from_parent("~ 1\nx").has_value());
    EXPECT_FALSE(calls_from_parent("mPila 0\n~ 1\nx~ 1\ny").has_value());
}

TEST(ChildArguments, NameTheLibraryOnlyWhenOneWasNamed) {
    EXPECT_THAT(child_arguments("run", std::nullopt, {}), ::testing::ElementsAre("run"));
    EXPECT_THAT(child_arguments("call", "mPila", "/x/libZavlek.so"),
                ::testing::ElementsAre("call", "mPila", "--library", "/x/libZavlek.so"));
}

TEST(NearestName, SuggestsTheNameOneSlipAwayAndNothingWhenNoneOrTwoAre) {
    const std::vector<std::string_view> names = {"mPila", "tokeniza", "tokeniza2", "parser_SLR",
                                                 "check", "run",      "fuzz"};
    EXPECT_EQ(nearest_name("chek", names), "check");
    EXPECT_EQ(nearest_name("cehck", names), "check");
    EXPECT_EQ(nearest_name("PARSER_slr", names), "parser_SLR");
    EXPECT_EQ(nearest_name("fuz", names), "fuzz");
    EXPECT_EQ(nearest_name("frobnicate", names), std::nullopt);
    EXPECT_EQ(nearest_name("check", names), std::nullopt);
    // tokeniza and tokeniza2 are as near: no guess.
    EXPECT_EQ(nearest_name("tokenizar", names), std::nullopt);
    EXPECT_EQ(nearest_name("x", names), std::nullopt);
}

}  // namespace
}  // namespace kavrelo::zavlek_call
