// SPDX-License-Identifier: MIT
// What the binding adds to a call of parser_SLR: a bound call through
// ZavlekLibrary against hand-written code doing the same required work
// through the same pointer, on a library that answers at once.
#include <binding/library_string.h>
#include <binding/loader.h>
#include <binding/zavlek_library.h>

#include <zavlek.h>

#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <string>

namespace {

using kavrelo::binding::LoadedLibrary;
using kavrelo::binding::Loader;
using kavrelo::binding::ZavlekLibrary;

using TextToText = BSTR(ZAVLEK_CALL*)(BSTR);

constexpr std::u16string_view kShortText = u"2 * (x + 3)";

// The system loader, taking the library from its folder beside the benchmark.
class FolderLoader final : public Loader {
public:
    std::unique_ptr<LoadedLibrary> load(const std::string& file) override {
        return system_->load((folder_ / file).string());
    }

private:
    std::filesystem::path folder_ = kavrelo::binding::program_folder() / "fixed_answer";
    std::unique_ptr<Loader> system_ = kavrelo::binding::make_system_loader();
};

TextToText bare_parser_SLR() {
    static FolderLoader loader;
    static const std::unique_ptr<LoadedLibrary> library =
        loader.load(std::string(kavrelo::binding::kZavlekFile));
    return reinterpret_cast<TextToText>(library->find("parser_SLR").address);
}

void ours(benchmark::State& state) {
    FolderLoader loader;
    ZavlekLibrary library(loader);
    for (auto _ : state) benchmark::DoNotOptimize(library.parser_SLR(kShortText));
}

// The least any caller must do: a fresh counted argument from the text, the
// call, the answer widened, both strings released.
void hand_written(benchmark::State& state) {
    const TextToText parser_SLR = bare_parser_SLR();
    for (auto _ : state) {
        const BSTR argument = SysAllocStringByteLen(nullptr, static_cast<unsigned int>(kShortText.size()));
        char* bytes = reinterpret_cast<char*>(argument);
        for (std::size_t i = 0; i < kShortText.size(); ++i) bytes[i] = static_cast<char>(kShortText[i]);
        const BSTR answer = parser_SLR(argument);
        const auto* answer_bytes = reinterpret_cast<const unsigned char*>(answer);
        std::u16string text(answer_bytes, answer_bytes + SysStringByteLen(answer));
        SysFreeString(argument);
        SysFreeString(answer);
        benchmark::DoNotOptimize(text);
    }
}

void bare_call(benchmark::State& state) {
    const TextToText parser_SLR = bare_parser_SLR();
    const BSTR argument = SysAllocStringByteLen("2 * (x + 3)", 11);
    for (auto _ : state) {
        const BSTR answer = parser_SLR(argument);
        benchmark::DoNotOptimize(answer);
        SysFreeString(answer);
    }
    SysFreeString(argument);
}

// What the binding must add to any call: the look at the answer that tells
// a string the allocator made from anything else, before it is read or freed.
void answer_check(benchmark::State& state) {
    const TextToText parser_SLR = bare_parser_SLR();
    const kavrelo::binding::LibraryString argument = kavrelo::binding::make_library_string(kShortText);
    const kavrelo::binding::LibraryString answer{parser_SLR(argument.get())};
    for (auto _ : state) benchmark::DoNotOptimize(kavrelo::binding::defect_of(answer.get(), argument.get()));
}

// Each iteration a new binding: the library (already loaded, as it stays
// for the life of the process) opened, the name looked up, then the call.
void first_call(benchmark::State& state) {
    FolderLoader loader;
    for (auto _ : state) {
        ZavlekLibrary library(loader);
        benchmark::DoNotOptimize(library.parser_SLR(kShortText));
    }
}

BENCHMARK(ours)->Name("call/parser_SLR/short/ours");
BENCHMARK(hand_written)->Name("call/parser_SLR/short/hand_written");
BENCHMARK(bare_call)->Name("call/parser_SLR/short/bare_call");
BENCHMARK(answer_check)->Name("call/parser_SLR/short/answer_check");
BENCHMARK(first_call)->Name("call/parser_SLR/short/first_call");

}  // namespace

BENCHMARK_MAIN();
