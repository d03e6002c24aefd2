// SPDX-License-Identifier: MIT
// The reference library's SLR parser against a GNU Bison parser of the same
// grammar, on the same token stream, from 10 KB to 10 MB of text. Reports
// tokens per second for each and the ratio between them.
extern "C" {
#include "bison_expr.h"
}

#include <zavlek/lexer.h>
#include <zavlek/parser.h>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using zavlek::Token;
using zavlek::TokenKind;

// An expression of about `bytes` bytes, parenthesised a few levels deep.
std::string expression_of_size(std::size_t bytes) {
    std::mt19937 random(20261207);
    const char* operators = "+-*/";
    std::string text;
    int open = 0;
    while (text.size() < bytes) {
        if (open < 4 && random() % 4 == 0) {
            text += '(';
            ++open;
        }
        text += random() % 2 == 0 ? "x" + std::to_string(random() % 100) : std::to_string(random() % 1000);
        if (open > 0 && random() % 3 == 0) {
            text += ')';
            --open;
        }
        text += ' ';
        text += operators[random() % 4];
        text += ' ';
    }
    text += '1';
    text.append(static_cast<std::size_t>(open), ')');
    return text;
}

// The token stream in the form each parser reads, one word per token: the
// kinds for ours, Bison's token codes for Bison's.
struct Workload {
    std::vector<TokenKind> kinds;  // ending with the end token
    std::vector<int> bison_tokens;
};

int bison_code(TokenKind kind) {
    switch (kind) {
        case TokenKind::number:
            return NUM;
        case TokenKind::identifier:
            return ID;
        case TokenKind::plus:
            return '+';
        case TokenKind::minus:
            return '-';
        case TokenKind::times:
            return '*';
        case TokenKind::divide:
            return '/';
        case TokenKind::open:
            return '(';
        case TokenKind::close:
            return ')';
        case TokenKind::end:
            return 0;
        default:
            throw std::logic_error("no such token in the benchmark");
    }
}

const Workload& workload(std::size_t bytes) {
    static std::map<std::size_t, Workload> made;
    auto [entry, inserted] = made.try_emplace(bytes);
    if (inserted) {
        static std::vector<std::string> texts;  // the tokens point into these
        texts.push_back(expression_of_size(bytes));
        zavlek::Lexer lexer(texts.back());
        for (Token token = lexer.next();; token = lexer.next()) {
            entry->second.kinds.push_back(token.kind);
            entry->second.bison_tokens.push_back(bison_code(token.kind));
            if (token.kind == TokenKind::end) break;
        }
    }
    return entry->second;
}

void count_tokens(benchmark::State& state, std::size_t tokens) {
    state.counters["tokens/s"] =
        benchmark::Counter(static_cast<double>(tokens), benchmark::Counter::kIsIterationInvariantRate);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * state.range(0)));
}

void BM_Slr(benchmark::State& state) {
    const Workload& input = workload(static_cast<std::size_t>(state.range(0)));
    const auto& parser = zavlek::ExpressionParser::instance();
    for (auto _ : state) {
        std::size_t next = 0;
        const auto verdict = parser.run([&] { return Token{input.kinds[next++], 0, {}}; });
        if (verdict.kind != zavlek::Verdict::Kind::accepted) state.SkipWithError("refused");
        benchmark::DoNotOptimize(next);
    }
    count_tokens(state, input.kinds.size());
}

void BM_Bison(benchmark::State& state) {
    const Workload& input = workload(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        bench_cursor cursor{input.bison_tokens.data(), 0};
        if (bench_bison_parse(&cursor) != 0) state.SkipWithError("refused");
        benchmark::DoNotOptimize(cursor.next);
    }
    count_tokens(state, input.kinds.size());
}

BENCHMARK(BM_Slr)->RangeMultiplier(10)->Range(10'000, 10'000'000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Bison)->RangeMultiplier(10)->Range(10'000, 10'000'000)->Unit(benchmark::kMillisecond);

// Keeps each run's rate to print the two parsers side by side at the end.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            const std::string name = run.benchmark_name();
            const auto slash = name.find('/');
            const auto rate = run.counters.find("tokens/s");
            if (slash != std::string::npos && rate != run.counters.end() &&
                run.run_type == Run::RT_Iteration) {
                rates_[name.substr(slash + 1)][name.substr(0, slash)] = rate->second.value;
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void print_ratios() const {
        std::printf("\n%12s %16s %16s %8s\n", "bytes", "SLR tokens/s", "Bison tokens/s", "ratio");
        for (const auto& [size, by_parser] : rates_) {
            const double slr = by_parser.count("BM_Slr") ? by_parser.at("BM_Slr") : 0;
            const double bison = by_parser.count("BM_Bison") ? by_parser.at("BM_Bison") : 0;
            std::printf("%12s %16.3e %16.3e %8.2f\n", size.c_str(), slr, bison,
                        bison > 0 ? slr / bison : 0.0);
        }
    }

private:
    std::map<std::string, std::map<std::string, double>> rates_;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.print_ratios();
    benchmark::Shutdown();
    return 0;
}
