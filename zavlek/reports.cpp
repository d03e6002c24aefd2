// SPDX-License-Identifier: MIT
#include "reports.h"

#include "lexer.h"
#include "parser.h"
#include "pila.h"

#include <cstdio>
#include <functional>
#include <vector>

namespace zavlek {
namespace {

constexpr std::string_view kSample = "precio_total = (base + 21) * 1.5 / cantidad # fin";

std::string error_token(const Token& token) {
    return "ERROR(" + shown_character(token) + " en " + std::to_string(token.position) + ")";
}

}  // namespace

std::string token_list(std::string_view text) {
    std::string tokens;
    std::size_t count = 0;
    Lexer lexer(text);
    for (Token token = lexer.next(); token.kind != TokenKind::end; token = lexer.next()) {
        tokens += ' ';
        if (token.kind == TokenKind::error) {
            tokens += error_token(token);
        } else {
            tokens += kind_label(token.kind);
            tokens += '(';
            tokens += token.text;
            tokens += ')';
        }
        ++count;
    }
    const std::string heading =
        std::to_string(count) + (count == 1 ? " componente l\xE9xico" : " componentes l\xE9xicos");
    return count == 0 ? heading : heading + ":" + tokens;
}

std::string parser_answer(std::string_view text) {
    const ExpressionParser& parser = ExpressionParser::instance();
    return describe(parser.parse(text), parser.table());
}

std::string stack_self_test_report() {
    struct Check {
        const char* description;
        std::function<bool()> passes;
    };
    constexpr int kPushed = 1000;
    Pila<int> pila(4);
    const std::vector<Check> checks = {
        {"una pila nueva está vacía", [&] { return pila.empty() && !pila.top().has_value(); }},
        {"apilar 1000 elementos, más allá de la capacidad inicial de 4",
         [&] {
             for (int i = 1; i <= kPushed; ++i) pila.push(i);
             return pila.size() == kPushed && pila.capacity() >= kPushed;
         }},
        {"la cima es el último elemento apilado", [&] { return pila.top() == kPushed; }},
        {"se desapilan en orden inverso",
         [&] {
             for (int expected = kPushed; expected >= 1; --expected) {
                 if (pila.pop() != expected) return false;
             }
             return true;
         }},
        {"queda vacía tras desapilarlo todo", [&] { return pila.empty() && pila.size() == 0; }},
        {"desapilar una pila vacía se informa sin fallar",
         [&] { return !pila.pop().has_value() && !pila.drop(1) && pila.empty(); }},
    };
    std::string report = "mPila: prueba de la pila\n";
    int passed = 0;
    for (const Check& check : checks) {
        const bool ok = check.passes();
        passed += ok ? 1 : 0;
        report += std::string(ok ? "  bien:  " : "  FALLO: ") + check.description + "\n";
    }
    report += "mPila: " + std::to_string(passed) + " de " + std::to_string(checks.size()) +
              " comprobaciones correctas\n";
    return report;
}

std::string sample_tokens_report() {
    std::string report = "tokeniza: texto de ejemplo: " + std::string(kSample) + "\n";
    Lexer lexer(kSample);
    int count = 0;
    int errors = 0;
    for (Token token = lexer.next(); token.kind != TokenKind::end; token = lexer.next()) {
        char position[16];
        std::snprintf(position, sizeof position, "%4zu  ", token.position);
        std::string label(kind_label(token.kind));
        label.resize(8, ' ');
        report += position + label + std::string(token.text) + "\n";
        ++count;
        errors += token.kind == TokenKind::error ? 1 : 0;
    }
    report += "tokeniza: " + std::to_string(count) + " componentes léxicos, " + std::to_string(errors) +
              (errors == 1 ? " error\n" : " errores\n");
    return report;
}

}  // namespace zavlek
