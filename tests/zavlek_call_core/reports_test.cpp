// SPDX-License-Identifier: MIT
// The reports as their readers read them: prove and Perl's TAP parser for
// the TAP, Python's XML and JSON parsers for JUnit and JSON (where those
// readers are: not under Wine), with texts a library or a user may give.
#include "core/cases/case_file.h"
#include "core/cases/case_run.h"
#include "core/reports/check_report.h"
#include "core/reports/fuzz_report.h"
#include "core/reports/junit_report.h"
#include "core/reports/tap_report.h"
#include "read_by.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace kavrelo::zavlek_call {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

// A file name with a control, and case texts with everything XML, TAP and
// YAML give a meaning to.
const std::string kFile = "h\x1Bo<&>.txt";
const std::string kCases =
    "parser_SLR <a & \"b\"> 'c' \\\\ \\xE9\\x01\\t\\n\n"
    "= otra cosa\n"
    "tokeniza2 x # SKIP no es una directiva\n"
    "= x\n"
    "parser_SLR cuelga\n"
    "~ llamada\n";

struct Reported {
    std::vector<TestCase> cases;
    CaseRun run;
};

Reported reported() {
    Reported reported{read_case_file(kFile, kCases).cases, {}};
    EXPECT_EQ(reported.cases.size(), 3u);
    reported.run.results.push_back({false, u"<a & \"b\"> 'c' \\ \u00E9\u0001\t\n", {}, {}});
    reported.run.results.push_back({true, u"x", {}, {}});
    reported.run.results.push_back(
        {false, std::nullopt, "parser_SLR no volvió en 5 s; se detuvo el proceso", {}});
    return reported;
}

#if !defined(_WIN32)
std::string hex(std::string_view bytes) {
    std::string shown;
    char digits[3];
    for (const char byte : bytes) {
        std::snprintf(digits, sizeof digits, "%02x", static_cast<unsigned char>(byte));
        shown += digits;
    }
    return shown;
}

TEST(TapReport, ProveReadsTheFailuresAndThePlanWithoutParseErrors) {
    const Reported run = reported();
    const ReaderOutput prove = read_by("prove --exec cat", tap_report(run.cases, run.run));
    EXPECT_NE(prove.status, 0) << prove.printed;
    EXPECT_THAT(prove.printed, HasSubstr("Failed tests:  1, 3\n"));
    EXPECT_THAT(prove.printed, HasSubstr("Tests: 3 Failed: 2)"));
    EXPECT_THAT(prove.printed, Not(HasSubstr("arse error")));
}

TEST(TapReport, TapsParserSeesNoDirectiveAndTheYamlBlockHoldsTheTextsExactly) {
    const Reported run = reported();
    const ReaderOutput read = read_by(
        "perl -MTAP::Parser -e 'local $/; open my $f, \"<\", $ARGV[0] or die; "
        "my $p = TAP::Parser->new({tap => scalar <$f>}); "
        "while (my $r = $p->next) { "
        "  print $r->number, ($r->has_directive ? \" directive\" : \"\"), \"\\n\" if $r->is_test; "
        "  if ($r->is_yaml) { my $d = $r->data; my $o = $d->{obtenido} // \"~\"; "
        "    print unpack(\"H*\", $o), \"|\", $d->{causa} // \"\", \"\\n\" } } "
        "print \"error: $_\\n\" for $p->parse_errors;'",
        tap_report(run.cases, run.run));
    EXPECT_EQ(read.printed, "1\n" + hex("<a & \"b\"> 'c' \\ \xC3\xA9\x01\t\n") + "|\n2\n3\n" + hex("~") +
                                "|parser_SLR no volvió en 5 s; se detuvo el proceso\n");
}

TEST(TapReport, ABackslashBeforeAHashInAFileNameStartsNoDirective) {
    // Read as TAP reads it, "\\#" would be an escaped backslash and then a
    // hash that starts a TODO directive, and prove would count the failure
    // as passed.
    const std::string file = "caso\\# TODO x.txt";
    const std::vector<TestCase> cases = read_case_file(file, "parser_SLR x\n= y\n").cases;
    CaseRun run;
    run.results.push_back({false, u"z", {}, {}});
    const ReaderOutput prove = read_by("prove --exec cat", tap_report(cases, run));
    EXPECT_NE(prove.status, 0) << prove.printed;
    EXPECT_THAT(prove.printed, HasSubstr("Failed: 1)"));
}

TEST(JunitReport, PythonsXmlParserReadsEachCaseAndWhatItsFailureSays) {
    const Reported run = reported();
    const ReaderOutput read = read_by(
        "python3 -c 'import sys, xml.etree.ElementTree as t\n"
        "root = t.parse(sys.argv[1]).getroot()\n"
        "print(root.get(\"tests\"), root.get(\"failures\"))\n"
        "for suite in root:\n"
        "  for case in suite:\n"
        "    f = case.find(\"failure\")\n"
        "    print(case.get(\"name\"), \"|\", f.get(\"message\") if f is not None else \"-\")'",
        junit_report({kFile}, run.cases, run.run));
    EXPECT_EQ(read.status, 0) << read.printed;
    EXPECT_EQ(read.printed,
              "3 2\n"
              "h\\x1Bo<&>.txt:1 | esperado: otra cosa; obtenido: <a & \"b\"> 'c' \\\\ é\\x01\\t\\n\n"
              "h\\x1Bo<&>.txt:3 | -\n"
              "h\\x1Bo<&>.txt:5 | parser_SLR no volvió en 5 s; se detuvo el proceso\n");
}

TEST(JunitReport, CharactersXmlForbidsAreEscapedAndLongAnswersShortened) {
    // U+FFFF in a file name, U+FFFE in an expected answer, and an answer
    // far longer than any reader of the report needs.
    const std::string file = "nombre\xEF\xBF\xBF.txt";
    const std::vector<TestCase> cases = read_case_file(file, "parser_SLR x\n= \xEF\xBF\xBEy\n").cases;
    CaseRun run;
    run.results.push_back({false, u"\uFFFF" + std::u16string(200'000, u'a'), {}, {}});
    const std::string junit = junit_report({file}, cases, run);
    EXPECT_THAT(junit, Not(HasSubstr("\xEF\xBF\xBE")));
    EXPECT_THAT(junit, Not(HasSubstr("\xEF\xBF\xBF")));
    EXPECT_LT(junit.size(), 20'000u);
    EXPECT_THAT(junit, HasSubstr("(texto cortado: se muestran 4096 de 200001 caracteres)"));
    const ReaderOutput xmllint = read_by("xmllint --noout", junit);
    EXPECT_EQ(xmllint.status, 0) << xmllint.printed;
    const ReaderOutput read = read_by(
        "python3 -c 'import sys, xml.etree.ElementTree as t\n"
        "case = t.parse(sys.argv[1]).getroot()[0][0]\n"
        "print(case.get(\"name\"), \"|\", case.find(\"failure\").get(\"message\")[:37])'",
        junit);
    EXPECT_EQ(read.printed, "nombre\\uFFFF.txt:1 | esperado: \\uFFFEy; obtenido: \\uFFFFaa\n");
}

TEST(JsonReports, PythonsJsonParserReadsBackEveryTextAsGiven) {
    const std::string hostile = "a\"b\\c\n\x1B\x7F\xC2\x9D \xC3\xA9";
    const std::vector<CheckResult> results = {{"carga", {Verdict::failed, hostile}, 0.25}};
    const char* const reader =
        "python3 -c 'import sys, json\n"
        "value = json.load(open(sys.argv[1], encoding=\"utf-8\"))\n"
        "print(value[\"biblioteca\"].encode().hex(), "
        "value[\"comprobaciones\"][0][\"detalle\"].encode().hex())'";
    const ReaderOutput read = read_by(reader, results_json(hostile, results));
    EXPECT_EQ(read.printed, hex(hostile) + " " + hex(hostile) + "\n");

    FuzzSummary summary;
    summary.findings.push_back({"crash-1.txt", hostile, {}, {}});
    FuzzSettings hostile_out;
    hostile_out.out = hostile;
    const ReaderOutput fuzz = read_by(
        "python3 -c 'import sys, json\n"
        "value = json.load(open(sys.argv[1], encoding=\"utf-8\"))\n"
        "print(value[\"carpeta\"].encode().hex(), value[\"hallazgos\"][0][\"fallo\"].encode().hex())'",
        fuzz_json(summary, hostile_out));
    EXPECT_EQ(fuzz.printed, hex(hostile) + " " + hex(hostile) + "\n");
}
#endif

TEST(TapReport, ACaseTextHoldsNeitherALineBreakNorAnUnescapedHash) {
    const Reported run = reported();
    const std::string tap = tap_report(run.cases, run.run);
    EXPECT_THAT(tap, HasSubstr("\nok 2 - h\\\\x1Bo<&>.txt:3 tokeniza2 x \\# SKIP no es una directiva\n"));
    EXPECT_THAT(tap, HasSubstr("\n  obtenido: \"<a & \\\"b\\\"> 'c' \\\\ \xC3\xA9\\x01\\t\\n\"\n"));
}

TEST(TapReport, ALibraryThatCannotBeBoundBailsOutAfterTheCasesRun) {
    Reported run = reported();
    run.run.results.resize(1);
    run.run.not_bound = "No se pudo cargar\nla biblioteca";
    EXPECT_THAT(tap_report(run.cases, run.run),
                ::testing::EndsWith("\nBail out! No se pudo cargar la biblioteca\n"));
}

TEST(JunitReport, CasesNotRunFailWithWhyTheLibraryCouldNotBeLoadedAndNoneIsSkipped) {
    Reported run = reported();
    run.run.results.resize(1);
    run.run.not_bound = "No se pudo cargar la biblioteca";
    const std::string junit = junit_report({kFile}, run.cases, run.run);
    EXPECT_THAT(junit, HasSubstr("<testsuite name=\"h\\x1Bo&lt;&amp;&gt;.txt\" tests=\"3\" failures=\"3\" "
                                 "skipped=\"0\">"));
    EXPECT_THAT(junit, HasSubstr("<failure message=\"No se pudo cargar la biblioteca\""));
    EXPECT_THAT(junit, Not(HasSubstr("<skipped")));
}

TEST(JunitReport, AFileNamedTwiceHasItsCasesInEachOfItsTwoTestsuites) {
    const std::vector<TestCase> once = read_case_file("a.txt", "tokeniza2 x\n= x\nmPila\n").cases;
    std::vector<TestCase> cases = once;
    cases.insert(cases.end(), once.begin(), once.end());
    CaseRun run;
    run.results = {{true, u"x", {}, {}}, {true, {}, {}, {}}, {false, u"y", {}, {}}, {true, {}, {}, {}}};
    const std::string junit = junit_report({"a.txt", "a.txt"}, cases, run);
    const std::string opening = "<testsuite name=\"a.txt\" tests=\"2\" ";
    const std::size_t first = junit.find(opening + "failures=\"0\"");
    const std::size_t second = junit.find(opening + "failures=\"1\"");
    ASSERT_NE(first, std::string::npos) << junit;
    ASSERT_NE(second, std::string::npos) << junit;
    EXPECT_LT(first, second);
    EXPECT_THAT(junit.substr(second), HasSubstr("<testcase name=\"a.txt:1\" classname=\"a.txt\">\n"
                                                "      <failure message=\"esperado: x; obtenido: y\""));
}

TEST(JunitReport, AnExpectedAnswerWithAControlKeepsItsLettersAsTheFileWroteThem) {
    const std::vector<TestCase> cases =
        read_case_file("a.txt",
                       "parser_SLR 1+\n= posici\xC3\xB3n\\x01\nparser_SLR 2\n= posici\xC3\xB3n\x01\n")
            .cases;
    CaseRun run;
    run.results = {{false, u"posici\u00F3n 3", {}, {}}, {false, u"posici\u00F3n\u0001 4", {}, {}}};
    const std::string junit = junit_report({"a.txt"}, cases, run);
    EXPECT_THAT(junit, HasSubstr("message=\"esperado: posici\xC3\xB3n\\x01; obtenido: posici\xC3\xB3n 3\""));
    EXPECT_THAT(junit,
                HasSubstr("message=\"esperado: posici\xC3\xB3n\\x01; obtenido: posici\xC3\xB3n\\x01 4\""));
}

TEST(JsonReports, StringsAreUtf8WhateverBytesTheyHeld) {
    // A Latin-1 byte, as an older system names a folder, is the character it
    // stands for in the library's code page.
    EXPECT_EQ(json_string("caf\xE9"), "\"caf\\u00e9\"");
    EXPECT_EQ(json_string("\"\\\n\x1B\x7F\xC2\x9D"), "\"\\\"\\\\\\n\\u001b\\u007f\\u009d\"");
    EXPECT_EQ(json_string("\xC3\xB1\xF0\x9F\x98\x80"), "\"\xC3\xB1\xF0\x9F\x98\x80\"");
}

TEST(CheckReport, TheTableCountsEachVerdictAndKeepsADetailsLinesUnderOneAnother) {
    const std::vector<CheckResult> results = {{"carga", {Verdict::passed, "bien"}, 0.01},
                                              {"memoria", {Verdict::failed, "uno\ndos"}, 1.5},
                                              {"repetible", {Verdict::warning, "\x1B[2J"}, 0.2}};
    const std::string table = results_table(results);
    EXPECT_THAT(table, HasSubstr("memoria       falla      1,50 s  uno\n" + std::string(33, ' ') + "dos\n"));
    EXPECT_THAT(table, HasSubstr("\\x1B[2J"));
    EXPECT_THAT(table, ::testing::EndsWith("3 comprobaciones: 1 correctas, 1 falla, 1 aviso.\n"));
}

}  // namespace
}  // namespace kavrelo::zavlek_call
