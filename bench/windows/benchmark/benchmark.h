// SPDX-License-Identifier: MIT
// The part of Google Benchmark's interface that the in-process benchmarks
// use, for the Windows builds: Debian ships Google Benchmark for Linux only.
// Each benchmark is run for at least the minimum time, several times over,
// and the median time per iteration is printed as Google Benchmark's JSON
// prints its medians, so that one report reads both.
//   --benchmark_min_time=SECONDS  --benchmark_repetitions=N  --benchmark_filter=TEXT
// Other --benchmark_ options are accepted and ignored.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace benchmark {

enum TimeUnit { kNanosecond, kMicrosecond, kMillisecond };

class State {
public:
    explicit State(std::int64_t iterations) : iterations_(iterations) {}

    // What the loop variable holds: nothing, and no warning that it is unused.
    struct __attribute__((unused)) Value {};
    struct Iterator {
        std::int64_t left;
        bool operator!=(const Iterator&) const { return left != 0; }
        void operator++() { --left; }
        Value operator*() const { return {}; }
    };
    Iterator begin() {
        started_ = std::chrono::steady_clock::now();
        return {iterations_};
    }
    Iterator end() { return {0}; }

    std::int64_t iterations() const { return iterations_; }
    void SetBytesProcessed(std::int64_t) {}
    // The loop's time: from its start to this call, made once it has ended.
    double seconds() const {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
    }

private:
    std::int64_t iterations_;
    std::chrono::steady_clock::time_point started_;
};

template <typename T>
inline void DoNotOptimize(T&& value) {
    asm volatile("" : : "r,m"(value) : "memory");
}

inline void ClobberMemory() { asm volatile("" : : : "memory"); }

class Benchmark {
public:
    Benchmark(std::string name, std::function<void(State&)> run)
        : name_(std::move(name)), run_(std::move(run)) {}
    Benchmark* Name(const std::string& name) {
        name_ = name;
        return this;
    }
    Benchmark* Unit(TimeUnit) { return this; }

    const std::string& name() const { return name_; }

    // Seconds per iteration, with iterations enough to last min_time.
    double time_per_iteration(double min_time) {
        for (std::int64_t iterations = 1;; iterations *= 4) {
            State state(iterations);
            run_(state);
            const double seconds = state.seconds();
            if (seconds >= min_time || iterations >= (std::int64_t{1} << 40))
                return seconds / static_cast<double>(iterations);
        }
    }

private:
    std::string name_;
    std::function<void(State&)> run_;
};

namespace internal {

inline std::vector<std::unique_ptr<Benchmark>>& registered() {
    static std::vector<std::unique_ptr<Benchmark>> benchmarks;
    return benchmarks;
}

struct Options {
    double min_time = 0.1;
    int repetitions = 5;
    std::string filter;
};

inline Options& options() {
    static Options chosen;
    return chosen;
}

inline Benchmark* add(std::string name, std::function<void(State&)> run) {
    registered().push_back(std::make_unique<Benchmark>(std::move(name), std::move(run)));
    return registered().back().get();
}

}  // namespace internal

template <typename Function, typename... Arguments>
Benchmark* RegisterBenchmark(const char* name, Function function, Arguments&&... arguments) {
    return internal::add(name, [=](State& state) { function(state, arguments...); });
}

inline void Initialize(int* argc, char** argv) {
    internal::Options& chosen = internal::options();
    for (int i = 1; i < *argc; ++i) {
        const std::string argument = argv[i];
        const auto value = [&](const char* option) -> const char* {
            const std::string prefix = std::string(option) + "=";
            return argument.rfind(prefix, 0) == 0 ? argv[i] + prefix.size() : nullptr;
        };
        if (const char* seconds = value("--benchmark_min_time")) chosen.min_time = std::atof(seconds);
        if (const char* count = value("--benchmark_repetitions"))
            chosen.repetitions = std::max(1, std::atoi(count));
        if (const char* filter = value("--benchmark_filter")) chosen.filter = filter;
    }
}

inline void RunSpecifiedBenchmarks() {
    const internal::Options& chosen = internal::options();
    std::printf("{\n  \"benchmarks\": [");
    const char* separator = "\n";
    for (const auto& benchmark : internal::registered()) {
        if (benchmark->name().find(chosen.filter) == std::string::npos) continue;
        std::vector<double> times;
        for (int round = 0; round < chosen.repetitions; ++round) {
            times.push_back(benchmark->time_per_iteration(chosen.min_time / chosen.repetitions));
        }
        std::nth_element(times.begin(), times.begin() + times.size() / 2, times.end());
        std::printf(
            "%s    {\"run_name\": \"%s\", \"aggregate_name\": \"median\", \"real_time\": %.6g, "
            "\"time_unit\": \"ns\"}",
            separator, benchmark->name().c_str(), times[times.size() / 2] * 1e9);
        separator = ",\n";
        std::fflush(stdout);
    }
    std::printf("\n  ]\n}\n");
}

inline void Shutdown() {}

}  // namespace benchmark

#define BENCHMARK_CONCAT_(a, b) a##b
#define BENCHMARK_CONCAT(a, b) BENCHMARK_CONCAT_(a, b)
#define BENCHMARK(function)                                                                           \
  [[maybe_unused]] static ::benchmark::Benchmark* BENCHMARK_CONCAT(benchmark_registered_, __LINE__) = \
      ::benchmark::internal::add(#function, function)
#define BENCHMARK_MAIN()                   \
  int main(int argc, char** argv) {        \
    ::benchmark::Initialize(&argc, argv);  \
    ::benchmark::RunSpecifiedBenchmarks(); \
    ::benchmark::Shutdown();               \
    return 0;                              \
  }
