// The text conversions at the library boundary, on answers up to 16 MB.
#include <binding/codepage.h>
#include <binding/library_string.h>

#include <benchmark/benchmark.h>

#include <string>

namespace {

std::string bytes_of_size(std::size_t size, bool mixed) {
    std::string bytes(size, 'a');
    if (mixed) {
        for (std::size_t i = 0; i < size; i += 7) bytes[i] = static_cast<char>(0x80 + i % 128);
    }
    return bytes;
}

void BM_FromCp1252(benchmark::State& state) {
    const std::string bytes = bytes_of_size(static_cast<std::size_t>(state.range(0)), state.range(1) != 0);
    for (auto _ : state) {
        benchmark::DoNotOptimize(kavrelo::binding::from_eight_bit(bytes));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}

void BM_ToLibraryString(benchmark::State& state) {
    const std::u16string text =
        kavrelo::binding::from_eight_bit(bytes_of_size(static_cast<std::size_t>(state.range(0)), state.range(1) != 0));
    for (auto _ : state) {
        benchmark::DoNotOptimize(kavrelo::binding::make_library_string(text));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

BENCHMARK(BM_FromCp1252)->ArgsProduct({{1 << 10, 1 << 20, 16 << 20}, {0, 1}})->ArgNames({"bytes", "mixed"});
BENCHMARK(BM_ToLibraryString)->ArgsProduct({{1 << 10, 1 << 20, 16 << 20}, {0, 1}})->ArgNames({"chars", "mixed"});

}  // namespace

BENCHMARK_MAIN();
