// Shared by the benchmarks: every figure is reported beside the time of copying
// one frame of the same size with memcpy, the cheapest thing a frame can cost.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <vector>

namespace zolvex {
namespace bench {

// Best time in seconds of one memcpy of `bytes`, over many warm repetitions.
inline double FrameCopySeconds(size_t bytes)
{
    std::vector<unsigned char> a(bytes, 1), b(bytes);
    double best = 1e9;
    for (int round = 0; round < 20; ++round) {
        const auto t0 = std::chrono::steady_clock::now();
        for (int k = 0; k < 50; ++k) {
            std::memcpy(b.data(), a.data(), bytes);
            benchmark::ClobberMemory();
        }
        const std::chrono::duration<double> d = std::chrono::steady_clock::now() - t0;
        best = std::min(best, d.count() / 50);
    }
    return best;
}

// Times the loop body and reports the ratio to one frame copy as "x_copy".
template <class Body>
void TimedLoop(benchmark::State& state, double copySeconds, Body&& body)
{
    const auto t0 = std::chrono::steady_clock::now();
    for (auto _ : state) {
        body();
        benchmark::ClobberMemory();
    }
    const std::chrono::duration<double> d = std::chrono::steady_clock::now() - t0;
    if (state.iterations() > 0)
        state.counters["x_copy"] = d.count() / double(state.iterations()) / copySeconds;
}

// Registers the frame copy itself as the first benchmark, for reference.
inline void RegisterFrameCopy(const char* name, size_t bytes, double copySeconds)
{
    benchmark::RegisterBenchmark(name, [bytes, copySeconds](benchmark::State& state) {
        std::vector<unsigned char> a(bytes, 7), b(bytes);
        TimedLoop(state, copySeconds, [&] { std::memcpy(b.data(), a.data(), bytes); });
    })->Unit(benchmark::kMicrosecond);
}

}  // namespace bench
}  // namespace zolvex
