// SPDX-License-Identifier: MIT
#include "core/cases/case_file.h"
#include "core/cases/case_text.h"

#include <binding/entry_points.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <variant>

namespace kavrelo::zavlek_call {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

TEST(CaseFile, ReadsEachKindOfCaseWithItsLineAndWhatTheFileWrites) {
    const ReadCases read = read_case_file("casos.txt",
                                          "# comentario\n"
                                          "\n"
                                          "parser_SLR (1+2)*x\n"
                                          "= Cadena aceptada\n"
                                          "tokeniza2 2*(\n"
                                          "~ ^Error\n"
                                          "mPila\n"
                                          "parser_SLR x\n"
                                          "=\n");
    ASSERT_THAT(read.faults, IsEmpty());
    ASSERT_EQ(read.cases.size(), 4u);
    EXPECT_EQ(read.cases[0].entry_point, binding::EntryPoint::parser_SLR);
    EXPECT_EQ(read.cases[0].line, 3u);
    EXPECT_EQ(read.cases[0].written, "parser_SLR (1+2)*x");
    EXPECT_EQ(read.cases[0].text, u"(1+2)*x");
    EXPECT_EQ(read.cases[0].expectation.kind, Expectation::Kind::equals);
    EXPECT_EQ(read.cases[0].expectation.answer, u"Cadena aceptada");
    EXPECT_EQ(read.cases[1].expectation.kind, Expectation::Kind::matches);
    EXPECT_EQ(read.cases[1].expectation.written, "^Error");
    EXPECT_EQ(read.cases[2].entry_point, binding::EntryPoint::mPila);
    EXPECT_EQ(read.cases[2].expectation.kind, Expectation::Kind::returns);
    // "=" alone expects the empty answer.
    EXPECT_EQ(read.cases[3].expectation.kind, Expectation::Kind::equals);
    EXPECT_EQ(read.cases[3].expectation.answer, u"");
}

// The text and the expected answer of a file's one case.
std::pair<std::u16string, std::u16string> only_case(std::string_view file) {
    const ReadCases read = read_case_file("uno.txt", file);
    EXPECT_THAT(read.faults, IsEmpty());
    EXPECT_EQ(read.cases.size(), 1u);
    if (read.cases.empty()) return {};
    return {read.cases[0].text, read.cases[0].expectation.answer};
}

TEST(CaseFile, EscapesStandForWhatTheyNameInTheTextAndTheAnswer) {
    // \xHH is a byte of the library's code page: 0xE9 é, 0x80 the euro sign.
    EXPECT_EQ(only_case("tokeniza2 a\\nb\\tc\\\\d\\xE9\\x01 ñ\n= \\x80\\\\n\n"),
              std::pair(std::u16string(u"a\nb\tc\\d\u00E9\u0001 \u00F1"), std::u16string(u"\u20AC\\n")));
}

TEST(CaseFile, AByteOrderMarkAndCarriageReturnsAreNoPartOfTheCases) {
    EXPECT_EQ(only_case("\xEF\xBB\xBFparser_SLR 1\r\n= uno\r\n"),
              std::pair(std::u16string(u"1"), std::u16string(u"uno")));
}

TEST(CaseFile, EveryLineAtFaultIsNamedOnceAndNoCaseOfItIsKept) {
    const ReadCases read = read_case_file("f.txt",
                                          "parser_SLR 1+2\n"    // 1: no answer line follows
                                          "tokeniza2 x\n"       // 2
                                          "= x\n"               // 3
                                          "parser_SLR a\\qb\n"  // 4: unknown escape at column 13
                                          "= a\n"               // 5: passed over with its case
                                          "mPila extra\n"       // 6
                                          "frobnicate x\n"      // 7
                                          "= y\n"               // 8: no case before it
                                          "parser_SLR 1\n"      // 9
                                          "~ (\n"               // 10: not a pattern
                                          "parser_SLR\n"        // 11: no text
                                          "tokeniza2 \xFF\n"    // 12: not UTF-8
                                          "tokeniza2 y\n");     // 13: the file ends before its answer
    EXPECT_THAT(read.faults, ElementsAre(HasSubstr("f.txt:1: falta la línea de la respuesta"),
                                         HasSubstr("f.txt:4: escape desconocido \\q en la columna 13"),
                                         HasSubstr("f.txt:6: mPila no recibe texto"),
                                         HasSubstr("f.txt:7: se esperaba un caso"),
                                         HasSubstr("f.txt:8: respuesta sin caso delante"),
                                         HasSubstr("f.txt:10: el patrón no es una expresión regular"),
                                         HasSubstr("f.txt:11: parser_SLR necesita un texto"),
                                         HasSubstr("f.txt:12: la línea no es texto UTF-8"),
                                         HasSubstr("f.txt:13: falta la línea de la respuesta")));
    ASSERT_EQ(read.cases.size(), 1u);
    EXPECT_EQ(read.cases[0].line, 2u);
}

TEST(CaseFile, ALineThatIsNotUtf8IsItsOnlyFault) {
    // A case's line: its answer line goes with it. An answer's line: its
    // case goes with it, and the next case is read as one.
    const ReadCases read = read_case_file("f.txt",
                                          "tokeniza2 posici\xF3n\n"  // 1: not UTF-8
                                          "= posici\xC3\xB3n\n"      // 2: its answer, passed over
                                          "parser_SLR 1\n"           // 3
                                          "= posici\xF3n\n"          // 4: not UTF-8
                                          "parser_SLR 2\n"
                                          "= 2\n"
                                          "# comentario en Latin-1: posici\xF3n\n");  // 7: not UTF-8
    EXPECT_THAT(read.faults, ElementsAre(HasSubstr("f.txt:1: la línea no es texto UTF-8"),
                                         HasSubstr("f.txt:4: la línea no es texto UTF-8"),
                                         HasSubstr("f.txt:7: la línea no es texto UTF-8")));
    ASSERT_EQ(read.cases.size(), 1u);
    EXPECT_EQ(read.cases[0].line, 5u);
}

TEST(CaseFile, APatternNestedTooDeepIsAFaultOfItsLineNotAStackOverflow) {
    const std::string nested = std::string(15'000, '(') + "a" + std::string(15'000, ')');
    const std::string bracketed = "[(]\\(" + std::string(200, '(') + "a" + std::string(200, ')') + "\\)";
    const ReadCases read =
        read_case_file("f.txt", "parser_SLR a\n~ " + nested + "\nparser_SLR a\n~ " + bracketed + "\n");
    EXPECT_THAT(read.faults, ElementsAre(HasSubstr("f.txt:2: el patrón anida más de 256 paréntesis")));
    ASSERT_EQ(read.cases.size(), 1u);
    EXPECT_EQ(read.cases[0].line, 3u);
}

TEST(CaseFile, AnEscapeCutShortIsUnknownAndShownAsWritten) {
    for (const char* written : {"ab\\", "ab\\x4", "ab\\xG0", "ab\\é"}) {
        const auto meant = meant_text(written);
        ASSERT_TRUE(std::holds_alternative<UnknownEscape>(meant)) << written;
        EXPECT_EQ(std::get<UnknownEscape>(meant).column, 3u) << written;
    }
    EXPECT_EQ(std::get<UnknownEscape>(meant_text("ñ\\é")).written, "\\é");
}

TEST(CaseFile, WrittenTextReadsBackAsTheSameText) {
    for (const std::u16string& text :
         {std::u16string(u"plain"), std::u16string(u"a\\b\\\\n"), std::u16string(u"\n\t\r\u0001\u001B\u007F"),
          std::u16string(u"\u00E9\u20AC \u4E2D"), std::u16string(u"x\\xE9")}) {
        const auto meant = meant_text(written_text(text));
        ASSERT_TRUE(std::holds_alternative<std::u16string>(meant));
        EXPECT_EQ(std::get<std::u16string>(meant), text);
    }
    EXPECT_EQ(written_text(u"a\\b\n\x1B"), "a\\\\b\\n\\x1B");
}

TEST(CaseFile, APatternSeesACharacterBeyondTheBasicPlaneAsTheSystemsWideStringsDo) {
    const std::wstring wide = wide_text(u"a\U0001F600b");
    if constexpr (sizeof(wchar_t) == sizeof(char32_t)) {
        EXPECT_EQ(wide, std::wstring({L'a', static_cast<wchar_t>(0x1F600), L'b'}));
    } else {
        EXPECT_EQ(wide.size(), 4u);
    }
}

}  // namespace
}  // namespace kavrelo::zavlek_call
