// SPDX-License-Identifier: MIT
#include <zavlek/lexer.h>
#include <zavlek/parser.h>
#include <zavlek/reports.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zavlek {
namespace {

struct Case {
    const char* text;
    const char* answer;  // Windows-1252
};

void expect_answers(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        EXPECT_EQ(parser_answer(c.text), c.answer) << "for \"" << c.text << "\"";
    }
}

TEST(Parser, AcceptsWellFormedExpressions) {
    expect_answers({
        {"1", "Cadena aceptada"},
        {"a", "Cadena aceptada"},
        {"1+2*3", "Cadena aceptada"},
        {"(a - 2) / (b + 3.5) * c_1", "Cadena aceptada"},
        {"((((x))))", "Cadena aceptada"},
        {"  7 \t-\r\n 8  ", "Cadena aceptada"},
        {"a-b-c/d/e", "Cadena aceptada"},
        {"a\xF1o * ca\xF1\xF3n", "Cadena aceptada"},  // año * cañón
    });
}

TEST(Parser, PointsAtTheFirstTokenThatCannotContinue) {
    const char* operand = "se esperaba n\xFAmero, identificador o '('";
    expect_answers({
        {"1+", (std::string("Error de sintaxis en la posici\xF3n 3: ") + operand).c_str()},
        {"(1+2)*", (std::string("Error de sintaxis en la posici\xF3n 7: ") + operand).c_str()},
        {"+1", (std::string("Error de sintaxis en la posici\xF3n 1: ") + operand).c_str()},
        {"", (std::string("Error de sintaxis en la posici\xF3n 1: ") + operand).c_str()},
        {"   ", (std::string("Error de sintaxis en la posici\xF3n 4: ") + operand).c_str()},
        {"1 2", "Error de sintaxis en la posici\xF3n 3: se esperaba '+', '-', '*', '/' o fin de la cadena"},
        {"(1", "Error de sintaxis en la posici\xF3n 3: se esperaba '+', '-', '*', '/' o ')'"},
        {"1)", "Error de sintaxis en la posici\xF3n 2: se esperaba '+', '-', '*', '/' o fin de la cadena"},
        {"01|02", "Error de sintaxis en la posici\xF3n 3: se esperaba '+', '-', '*', '/' o fin de la cadena"},
    });
}

TEST(Parser, ReportsCharactersOutsideTheLanguageWithTheirPosition) {
    expect_answers({
        {"1 + #",
         "Error l\xE9xico en la posici\xF3n 5: car\xE1"
         "cter no v\xE1lido '#'"},
        {"a = 1",
         "Error l\xE9xico en la posici\xF3n 3: car\xE1"
         "cter no v\xE1lido '='"},
        {"1\x07",
         "Error l\xE9xico en la posici\xF3n 2: car\xE1"
         "cter no v\xE1lido (c\xF3"
         "digo 7)"},
        {"2 \xD7 3",
         "Error l\xE9xico en la posici\xF3n 3: car\xE1"
         "cter no v\xE1lido '\xD7'"},
    });
    EXPECT_EQ(parser_answer(std::string("1+\0", 3)),
              "Error l\xE9xico en la posici\xF3n 3: car\xE1"
              "cter no v\xE1lido (c\xF3"
              "digo 0)");
}

TEST(Parser, RunsOnAnExplicitStackWhateverTheNesting) {
    const std::size_t depth = std::size_t{1} << 20;
    std::string nested(depth, '(');
    nested += '1';
    nested.append(depth, ')');
    EXPECT_EQ(parser_answer(nested), "Cadena aceptada");
    nested.pop_back();
    EXPECT_EQ(parser_answer(nested),
              "Error de sintaxis en la posici\xF3n 2097153: se esperaba '+', '-', '*', '/' o ')'");
}

TEST(Parser, TakesSixteenMegabytesInOneGo) {
    std::string sum = "1";
    while (sum.size() < (std::size_t{16} << 20)) {
        sum += " + x*2";
    }
    EXPECT_EQ(parser_answer(sum), "Cadena aceptada");
}

TEST(Tokenizer, ListsTheFixedArgumentAsTwelveNumbersAndElevenSeparators) {
    EXPECT_EQ(
        token_list("01|02|03|04|05|06|07|08|09|10|11|12"),
        "23 componentes l\xE9xicos: NUM(01) SEP(|) NUM(02) SEP(|) NUM(03) SEP(|) NUM(04) SEP(|) NUM(05) "
        "SEP(|) NUM(06) SEP(|) NUM(07) SEP(|) NUM(08) SEP(|) NUM(09) SEP(|) NUM(10) SEP(|) NUM(11) SEP(|) "
        "NUM(12)");
}

TEST(Tokenizer, MarksUnknownCharactersWithTheirPosition) {
    EXPECT_EQ(token_list("x1 = (y + 2.5)"),
              "7 componentes l\xE9xicos: ID(x1) ERROR('=' en 4) PAR(() ID(y) OP(+) NUM(2.5) PAR())");
    EXPECT_EQ(token_list(std::string("\x01\0", 2)),
              "2 componentes l\xE9xicos: ERROR(c\xF3"
              "digo 1 en 1) ERROR(c\xF3"
              "digo 0 en 2)");
    EXPECT_EQ(token_list("   "), "0 componentes l\xE9xicos");
    EXPECT_EQ(token_list("7"), "1 componente l\xE9xico: NUM(7)");
}

TEST(Tokenizer, TakesEveryByteValue) {
    std::string bytes;
    for (int byte = 0; byte < 256; ++byte) bytes += static_cast<char>(byte);
    const std::string list = token_list(bytes);
    EXPECT_EQ(list.rfind("1", 0), 0u);
    EXPECT_NE(list.find("ERROR(c\xF3"
                        "digo 0 en 1)"),
              std::string::npos);
    EXPECT_NE(list.find("ERROR('\xF7' en 248)"), std::string::npos);
}

TEST(Reports, TheStackSelfTestPassesAndTheSampleShowsItsErrors) {
    const std::string stack = stack_self_test_report();
    EXPECT_NE(stack.find("mPila: 6 de 6 comprobaciones correctas"), std::string::npos) << stack;
    EXPECT_EQ(stack.find("FALLO"), std::string::npos);
    const std::string sample = sample_tokens_report();
    EXPECT_NE(sample.find("  14  ERROR   =\n"), std::string::npos) << sample;
    EXPECT_NE(sample.find("13 componentes léxicos, 2 errores"), std::string::npos) << sample;
}

}  // namespace
}  // namespace zavlek
