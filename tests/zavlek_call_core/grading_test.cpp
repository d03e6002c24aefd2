// SPDX-License-Identifier: MIT
// Rubrics as teachers write them, grades as the rubric makes them, and the
// grade files as spreadsheets and autograders read them.
#include "core/grading/grade_reports.h"
#include "core/grading/grading.h"
#include "core/grading/rubric.h"
#include "read_by.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace kavrelo::zavlek_call {
namespace {

using ::testing::DoubleEq;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

const std::string kRubric =
    "\xEF\xBB\xBF# Práctica 2\r\n"
    "@ Tokenizador 20\r\n"
    "tokeniza2 01|02\r\n"
    "= 01|02\r\n"
    "mPila\r\n"
    "@ Parser, casos ocultos 2,5 oculta\n"
    "parser_SLR 2*(\n"
    "~ ^Error de sintaxis\n"
    "parser_SLR x\n"
    "= Cadena aceptada\n"
    "parser_SLR y\n"
    "= Cadena aceptada\n"
    "@ contrato 10 tras-entrega\n"
    "@   FUZZ    7.5\n";

TEST(Rubric, GroupsTakeTheCasesAfterThemWithTheirPointsAndVisibility) {
    const ReadRubric read = read_rubric("rubrica.txt", kRubric);
    ASSERT_THAT(read.faults, ElementsAre());
    const Rubric& rubric = read.rubric;
    ASSERT_EQ(rubric.groups.size(), 4u);
    EXPECT_EQ(rubric.groups[0].name, "Tokenizador");
    EXPECT_THAT(rubric.groups[0].cases, ElementsAre(0u, 1u));
    EXPECT_EQ(rubric.groups[1].name, "Parser, casos ocultos");
    EXPECT_EQ(rubric.groups[1].points, 2.5);
    EXPECT_EQ(rubric.groups[1].visibility, Visibility::hidden);
    EXPECT_THAT(rubric.groups[1].cases, ElementsAre(2u, 3u, 4u));
    EXPECT_EQ(rubric.groups[2].kind, RubricGroup::Kind::contract);
    EXPECT_EQ(rubric.groups[2].visibility, Visibility::after_due_date);
    EXPECT_EQ(rubric.groups[3].kind, RubricGroup::Kind::fuzz);
    EXPECT_EQ(rubric.points(), 40.0);
    // Cases keep the file's own line numbers, the group lines counted.
    EXPECT_EQ(rubric.cases[2].line, 7u);
}

TEST(Rubric, EachFaultIsSaidWithItsLine) {
    const ReadRubric read = read_rubric("r.txt",
                                        "mPila\n"
                                        "@ Vacío 10\n"
                                        "@ Parser diez\n"
                                        "@ contrato 5\n"
                                        "tokeniza\n"
                                        "@Pegado 3\n"
                                        "@ Otro 4\n"
                                        "parser_SLR x\n"
                                        "@ Otro 4\n"
                                        "= x\n");
    EXPECT_THAT(
        read.faults,
        ElementsAre("r.txt:3: los puntos del grupo no son un número: diez (se admiten 20, 2.5 o 2,5)",
                    "r.txt:6: se esperaba @ NOMBRE PUNTOS [visible|oculta|tras-entrega]",
                    "r.txt:9: ya hay un grupo Otro: cada grupo es una columna de las notas",
                    "r.txt:8: falta la línea de la respuesta: = RESPUESTA o ~ PATRÓN",
                    "r.txt:10: respuesta sin caso delante; se esperaba un caso: tokeniza2 TEXTO o "
                    "parser_SLR TEXTO, o mPila o tokeniza solos",
                    "r.txt:1: un caso antes del primer grupo: los casos van tras una línea @ NOMBRE PUNTOS",
                    "r.txt:5: el grupo contrato no lleva casos: sus puntos son los de check"));
    EXPECT_THAT(read_rubric("r.txt", "@ Vacío 10\n@ fuzz 1\n").faults,
                ElementsAre("r.txt:1: el grupo Vacío no tiene casos"));
    EXPECT_THAT(read_rubric("r.txt", "@ fuzz 1\n@ FUZZ 2\n").faults,
                ElementsAre("r.txt:2: ya hay un grupo FUZZ: cada grupo es una columna de las notas"));
    EXPECT_THAT(read_rubric("r.txt", "# nada\n").faults,
                ElementsAre("r.txt:1: la rúbrica no tiene grupos: se esperaba @ NOMBRE PUNTOS "
                            "[visible|oculta|tras-entrega]"));
}

Rubric example_rubric() { return read_rubric("rubrica.txt", kRubric).rubric; }

// Tokenizador's first case and one of Parser's fail, one by a crash;
// thirteen of fourteen check rows pass; fuzz finds something.
SubmissionResults example_results() {
    SubmissionResults results;
    results.run.results = {
        {false, u"01 02", {}},
        {true, std::nullopt, {}},
        {true, u"Error de sintaxis", {}},
        {false, std::nullopt, "la biblioteca terminó el proceso durante parser_SLR", "depurando: (\n"},
        {true, u"Cadena aceptada", {}}};
    for (int row = 0; row < 14; ++row) {
        results.contract.push_back(
            {"fila " + std::to_string(row),
             {row == 3 ? Verdict::failed : Verdict::passed, row == 3 ? "se colgó" : "", false},
             0});
    }
    results.fuzz = FuzzFound{2000, {"crash: violación de acceso"}};
    return results;
}

TEST(Grading, EachGroupsPointsAreSharedEquallyAmongItsTests) {
    const Rubric rubric = example_rubric();
    const SubmissionGrade grade = graded(rubric, "ana", example_results());
    ASSERT_FALSE(grade.ungradable);
    EXPECT_THAT(grade.group_scores, ElementsAre(10.0, DoubleEq(2.5 * 2 / 3), DoubleEq(10.0 * 13 / 14), 0.0));
    EXPECT_DOUBLE_EQ(grade.score, 10.0 + 2.5 * 2 / 3 + 10.0 * 13 / 14);
    EXPECT_EQ(grade.max_score, 40.0);
    ASSERT_EQ(grade.tests.size(), 2u + 3u + 14u + 1u);
    EXPECT_EQ(grade.tests[0].name, "Tokenizador: tokeniza2 01|02");
    EXPECT_EQ(grade.tests[0].output, "esperado: 01|02\nobtenido: 01 02\n");
    EXPECT_EQ(
        grade.tests[3].output,
        "esperado: Cadena aceptada\nobtenido: \ncausa: la biblioteca terminó el proceso durante parser_SLR\n"
        "salida de la biblioteca:\ndepurando: (\n");
    EXPECT_EQ(grade.tests[19].name, "FUZZ: 2000 entradas");
    EXPECT_EQ(grade.tests[19].output, "crash: violación de acceso\n");
}

TEST(Grading, CasesNeverRunFailWithWhyTheLibraryCouldNotBeBound) {
    SubmissionResults results = example_results();
    results.run.results.resize(2);
    results.run.not_bound = "tokeniza2 no se pudo enlazar";
    const SubmissionGrade grade = graded(example_rubric(), "ana", results);
    EXPECT_EQ(grade.group_scores[1], 0.0);
    EXPECT_EQ(grade.tests[4].output, "esperado: Cadena aceptada\ncausa: tokeniza2 no se pudo enlazar\n");
}

TEST(Grading, AResultsRecordCutShortIsNoRecord) {
    const std::string record = results_record(example_results());
    ASSERT_TRUE(results_from_record(record));
    for (std::size_t length = 0; length < record.size(); ++length) {
        EXPECT_FALSE(results_from_record(record.substr(0, length))) << length;
    }
    EXPECT_FALSE(results_from_record(record + "0:"));
}

TEST(Grading, CopiesNameEachOther) {
    std::vector<SubmissionGrade> grades(4);
    grades[0].id = "c";
    grades[1].id = "a";
    grades[2].id = "b";
    grades[3].id = "d";
    mark_copies(grades, {"x", "x", "", "x"});
    EXPECT_THAT(grades[0].same_as, ElementsAre("a", "d"));
    EXPECT_THAT(grades[1].same_as, ElementsAre("c", "d"));
    EXPECT_THAT(grades[2].same_as, ElementsAre());
}

#if !defined(_WIN32)
std::vector<SubmissionGrade> example_class() {
    const Rubric rubric = example_rubric();
    std::vector<SubmissionGrade> grades{
        graded(rubric, "=HYPERLINK(\"x\")", example_results()),
        ungradable(rubric, "beto", "no exporta «parser_SLR»,\nni \"tokeniza\"")};
    grades[0].same_as = {"beto", "carla"};
    return grades;
}

TEST(GradeReports, PythonsCsvReaderReadsEveryCellAndSpreadsheetsTakeNoFormula) {
    const ReaderOutput read = read_by(
        "python3 -c 'import csv, sys\n"
        "with open(sys.argv[1], encoding=\"utf-8-sig\", newline=\"\") as f:\n"
        "  for row in csv.reader(f, strict=True): print(row)'",
        grades_csv(example_rubric(), example_class()));
    EXPECT_EQ(read.status, 0) << read.printed;
    EXPECT_EQ(read.printed,
              "['entrega', 'nota', 'maximo', 'Tokenizador', 'Parser, casos ocultos', 'contrato', 'FUZZ', "
              "'estado', 'motivo', 'igual_a']\n"
              "['\\'=HYPERLINK(\"x\")', '20.95', '40.00', '10.00', '1.67', '9.29', '0.00', 'calificada', '', "
              "'beto carla']\n"
              "['beto', '0.00', '40.00', '0.00', '0.00', '0.00', '0.00', 'no calificable', "
              "'no exporta «parser_SLR»,\\nni \"tokeniza\"', '']\n");
}

// The fields Gradescope's documentation lists, each of its type; a test's
// visibility one of the three it knows.
TEST(GradeReports, GradescopesResultsHoldTheDocumentedFields) {
    const std::vector<SubmissionGrade> grades = example_class();
    const ReaderOutput read = read_by(
        "python3 -c 'import json, sys\n"
        "r = json.load(open(sys.argv[1], encoding=\"utf-8\"))\n"
        "assert isinstance(r[\"score\"], float) and isinstance(r[\"execution_time\"], int)\n"
        "assert isinstance(r[\"output\"], str)\n"
        "for t in r[\"tests\"]:\n"
        "  assert set(t) == {\"name\", \"score\", \"max_score\", \"status\", \"output\", \"visibility\"}, t\n"
        "  assert t[\"status\"] in (\"passed\", \"failed\") and t[\"visibility\"] in (\"visible\", \"hidden\", "
        "\"after_due_date\")\n"
        "print(r[\"score\"], len(r[\"tests\"]), round(sum(t[\"max_score\"] for t in r[\"tests\"]), 2))\n"
        "print(*sorted({t[\"visibility\"] for t in r[\"tests\"]}))'",
        gradescope_results(example_rubric(), grades[0]));
    EXPECT_EQ(read.status, 0) << read.printed;
    EXPECT_EQ(read.printed, "20.95 20 40.0\nafter_due_date hidden visible\n");
}

TEST(GradeReports, PrairieLearnGetsAScoreFromZeroToOneAndNoHiddenCasesText) {
    const std::vector<SubmissionGrade> grades = example_class();
    const std::string program =
        "python3 -c 'import json, sys\n"
        "r = json.load(open(sys.argv[1], encoding=\"utf-8\"))\n"
        "print(r[\"gradable\"], r[\"score\"], r[\"message\"])\n"
        "for t in r[\"tests\"][:6]: print(t[\"name\"], t[\"points\"], t[\"max_points\"], repr(t[\"output\"]))'";
    const ReaderOutput graded_one = read_by(program, prairielearn_results(example_rubric(), grades[0]));
    EXPECT_EQ(graded_one.status, 0) << graded_one.printed;
    EXPECT_EQ(graded_one.printed,
              "True 0.5238 Nota: 20.95 de 40.00\n"
              "Tokenizador: tokeniza2 01|02 0.0 10.0 'esperado: 01|02\\nobtenido: 01 02\\n'\n"
              "Tokenizador: mPila 10.0 10.0 ''\n"
              "Parser, casos ocultos: caso oculto 1 0.8333 0.8333 ''\n"
              "Parser, casos ocultos: caso oculto 2 0.0 0.8333 ''\n"
              "Parser, casos ocultos: caso oculto 3 0.8333 0.8333 ''\n"
              "contrato: caso oculto 4 0.7143 0.7143 ''\n");
    const ReaderOutput not_graded = read_by(program, prairielearn_results(example_rubric(), grades[1]));
    EXPECT_EQ(not_graded.printed, "False 0.0 No calificable: no exporta «parser_SLR»,\nni \"tokeniza\"\n");
}

// A class whose student-written texts are markup, and one full marks.
std::vector<SubmissionGrade> hostile_class() {
    const Rubric rubric = example_rubric();
    SubmissionResults hostile = example_results();
    hostile.run.results[0].obtained = u"<img src=x onerror=alert(1)>";
    hostile.run.results[3].output = "</pre><script>alert('salida')</script>&amp;";
    SubmissionResults full = example_results();
    for (CaseResult& result : full.run.results) result.passed = true;
    for (CheckResult& row : full.contract) row.finding.verdict = Verdict::passed;
    full.fuzz->findings.clear();
    std::vector<SubmissionGrade> grades{graded(rubric, "<script>alert('id')</script>", hostile),
                                        ungradable(rubric, "beto\"'><b>", "<b>negrita</b> & 'así' \"no\""),
                                        graded(rubric, "llena", full)};
    grades[0].same_as = {"<i>copia</i>"};
    return grades;
}

// The page as an HTML parser reads it: the elements a student's text could
// bring, the table's rows, the texts read back, the histogram's top bar.
TEST(GradeReports, TheClassReportKeepsStudentsTextAsTextWithARowEachAndATopBarForFullMarks) {
    const ReaderOutput read = read_by(
        "python3 -c 'import sys\n"
        "from html.parser import HTMLParser\n"
        "class Page(HTMLParser):\n"
        "  def __init__(self):\n"
        "    super().__init__(); self.tags, self.rows, self.titles, self.text, self.row = set(), [], [], \"\", None\n"
        "    self.grades = False\n"
        "  def handle_starttag(self, tag, attrs):\n"
        "    self.tags.add(tag)\n"
        "    self.grades = self.grades or (\"id\", \"tabla-notas\") in attrs\n"
        "    if tag == \"th\" and (\"scope\", \"row\") in attrs and self.grades: self.row = \"\"\n"
        "    if tag == \"title\": self.titles.append(\"\")\n"
        "  def handle_endtag(self, tag):\n"
        "    if tag == \"th\" and self.row is not None: self.rows.append(self.row); self.row = None\n"
        "    self.grades = self.grades and tag != \"table\"\n"
        "  def handle_data(self, data):\n"
        "    self.text += data\n"
        "    if self.row is not None: self.row += data\n"
        "    if self.lasttag == \"title\": self.titles[-1] += data\n"
        "page = Page(); page.feed(open(sys.argv[1], encoding=\"utf-8\").read())\n"
        "print(sorted(page.tags & {\"script\", \"img\", \"b\", \"i\"}))\n"
        "print(page.rows)\n"
        "for text in (\"<img src=x onerror=alert(1)>\", \"</pre><script>alert(\\x27salida\\x27)</script>&amp;\",\n"
        "             \"<b>negrita</b> & \\x27así\\x27 \\\"no\\\"\", \"igual a <i>copia</i>\"):\n"
        "  print(text in page.text)\n"
        "print(page.titles[-1])'",
        class_report_html(example_rubric(), hostile_class(), "ninguno"));
    EXPECT_EQ(read.status, 0) << read.printed;
    EXPECT_EQ(read.printed,
              "[]\n"
              "[\"<script>alert('id')</script>\", 'beto\"\\'><b>', 'llena']\n"
              "True\nTrue\nTrue\nTrue\n"
              "de 90 a 100 %: 1 entrega\n");
}
#endif

}  // namespace
}  // namespace kavrelo::zavlek_call
