// SPDX-License-Identifier: MIT
// The text conversions at the library boundary, each way, against copying the
// same bytes (the floor) and against the C library's iconv (the usual peer).
// Every contender makes a fresh block for its result, as the program must.
#include <binding/codepage.h>
#include <binding/library_string.h>

#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>

#if __has_include(<iconv.h>)
#  include <iconv.h>
#  define KAVRELO_HAVE_ICONV 1
#endif

namespace {

using kavrelo::binding::from_eight_bit;
using kavrelo::binding::make_library_string;
using kavrelo::binding::to_eight_bit;

// Spanish as people type it: mostly ASCII, with accents, ñ, inverted marks,
// and now and then a character from the code page's 0x80-0x9F row (€, —, “ ”).
constexpr char16_t kMixedSample[] =
    u"El ni\u00F1o comi\u00F3 pi\u00F1a y caf\u00E9 en el a\u00F1o 2026 \u2014 \u00A1qu\u00E9 d\u00EDas! "
    u"\u00BFCu\u00E1nto cuesta? 3 \u20AC la ping\u00FCino\u2026 \u201Cacci\u00F3n\u201D y 7 \u00D7 8 = 56. ";

std::u16string text_of_size(std::size_t size, bool mixed) {
    std::u16string text;
    text.reserve(size);
    const std::u16string_view sample =
        mixed ? std::u16string_view(kMixedSample)
              : std::u16string_view(u"Cadena que se envia al analizador (1+2)*x. ");
    while (text.size() < size) text.append(sample.substr(0, size - text.size()));
    return text;
}

struct Workload {
    std::u16string text;
    std::string bytes;  // the same text in the code page
};

const Workload& workload(std::size_t size, bool mixed) {
    static std::unique_ptr<Workload> made[2][3];
    const int row = size == (1u << 10) ? 0 : size == (1u << 20) ? 1 : 2;
    auto& slot = made[mixed ? 1 : 0][row];
    if (!slot) {
        slot = std::make_unique<Workload>();
        slot->text = text_of_size(size, mixed);
        slot->bytes = to_eight_bit(slot->text);
    }
    return *slot;
}

void count_bytes(benchmark::State& state, std::size_t bytes) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}

void ours_to_eight_bit(benchmark::State& state, std::size_t size, bool mixed) {
    const Workload& input = workload(size, mixed);
    for (auto _ : state) benchmark::DoNotOptimize(make_library_string(input.text));
    count_bytes(state, input.bytes.size());
}

void ours_from_eight_bit(benchmark::State& state, std::size_t size, bool mixed) {
    const Workload& input = workload(size, mixed);
    for (auto _ : state) benchmark::DoNotOptimize(from_eight_bit(input.bytes));
    count_bytes(state, input.bytes.size());
}

// A copy into a fresh block, of the input's size.
void copy_into_fresh_block(benchmark::State& state, const void* from, std::size_t size, std::size_t counted) {
    for (auto _ : state) {
        std::unique_ptr<char[]> copy(new char[size]);
        std::memcpy(copy.get(), from, size);
        benchmark::DoNotOptimize(copy.get());
        benchmark::ClobberMemory();
    }
    count_bytes(state, counted);
}

// The floor: the text's 8-bit bytes copied into a block made for them.
void memcpy_bytes(benchmark::State& state, std::size_t size, bool mixed) {
    const Workload& input = workload(size, mixed);
    copy_into_fresh_block(state, input.bytes.data(), input.bytes.size(), input.bytes.size());
}

// The text's units copied into a block made for them: the floor of widening,
// whose output is that size, and near the floor of narrowing, which must
// read that much. Counted, like the others, by the 8-bit bytes.
void memcpy_units(benchmark::State& state, std::size_t size, bool mixed) {
    const Workload& input = workload(size, mixed);
    copy_into_fresh_block(state, input.text.data(), input.text.size() * sizeof(char16_t), input.bytes.size());
}

#ifdef KAVRELO_HAVE_ICONV
class Converter {
public:
    Converter(const char* to, const char* from) : handle_(iconv_open(to, from)) {
        if (handle_ == reinterpret_cast<iconv_t>(-1))
            throw std::runtime_error("iconv_open refused the code pages");
    }
    ~Converter() { iconv_close(handle_); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Converts all of in into a fresh block of out_size bytes.
    std::unique_ptr<char[]> convert(const void* in, std::size_t in_size, std::size_t out_size) {
        std::unique_ptr<char[]> out(new char[out_size]);
        char* in_cursor = const_cast<char*>(static_cast<const char*>(in));
        char* out_cursor = out.get();
        std::size_t out_left = out_size;
        iconv(handle_, nullptr, nullptr, nullptr, nullptr);
        if (iconv(handle_, &in_cursor, &in_size, &out_cursor, &out_left) == static_cast<std::size_t>(-1)) {
            throw std::runtime_error("iconv stopped part way");
        }
        return out;
    }

private:
    iconv_t handle_;
};

void iconv_to_eight_bit(benchmark::State& state, std::size_t size, bool mixed) {
    const Workload& input = workload(size, mixed);
    Converter converter("WINDOWS-1252", "UTF-16LE");
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            converter.convert(input.text.data(), input.text.size() * sizeof(char16_t), input.bytes.size()));
    }
    count_bytes(state, input.bytes.size());
}

void iconv_from_eight_bit(benchmark::State& state, std::size_t size, bool mixed) {
    const Workload& input = workload(size, mixed);
    Converter converter("UTF-16LE", "WINDOWS-1252");
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            converter.convert(input.bytes.data(), input.bytes.size(), input.text.size() * sizeof(char16_t)));
    }
    count_bytes(state, input.bytes.size());
}
#endif

using Contender = void (*)(benchmark::State&, std::size_t, bool);

struct Way {
    const char* name;
    Contender ours;
    Contender peer;
};

void register_all() {
    const Way ways[] = {
#ifdef KAVRELO_HAVE_ICONV
        {"to_8bit", ours_to_eight_bit, iconv_to_eight_bit},
        {"from_8bit", ours_from_eight_bit, iconv_from_eight_bit},
#else
        {"to_8bit", ours_to_eight_bit, nullptr},
        {"from_8bit", ours_from_eight_bit, nullptr},
#endif
    };
    const struct {
        const char* name;
        std::size_t size;
    } sizes[] = {{"1KB", 1u << 10}, {"1MB", 1u << 20}, {"64MB", 64u << 20}};
    for (const Way& way : ways) {
        for (const bool mixed : {false, true}) {
            for (const auto& size : sizes) {
                const std::string prefix =
                    std::string("conversion/") + way.name + (mixed ? "/mixed/" : "/ascii/") + size.name + "/";
                const auto add = [&](const char* contender, Contender run) {
                    auto* added =
                        benchmark::RegisterBenchmark((prefix + contender).c_str(), run, size.size, mixed);
                    added->Unit(size.size > (1u << 20) ? benchmark::kMillisecond : benchmark::kMicrosecond);
                };
                add("ours", way.ours);
                add("memcpy", memcpy_bytes);
                add("memcpy_units", memcpy_units);
                if (way.peer != nullptr) add("iconv", way.peer);
            }
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    register_all();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
