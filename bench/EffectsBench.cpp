// SPDX-License-Identifier: MIT
// Google Benchmark view of the frame timings: one benchmark per style and
// size, reporting the median and worst frame over progress 1..99 and their
// ratios to the floor (one memcpy of a whole frame) as counters.
#include "effects/FrameTiming.h"

#include <benchmark/benchmark.h>
#include <map>
#include <utility>

namespace {

using namespace tevrin;

const std::pair<TBitmap24, TBitmap24>& Pictures(int w, int h) {
    static std::map<std::pair<int, int>, std::pair<TBitmap24, TBitmap24>> cache;
    auto [it, added] = cache.try_emplace({w, h});
    if (added) it->second = {BenchPicture(w, h, 0), BenchPicture(w, h, 1)};
    return it->second;
}

void BM_Frame(benchmark::State& state) {
    const int style = static_cast<int>(state.range(0));
    const int w = static_cast<int>(state.range(1)), h = static_cast<int>(state.range(2));
    const auto& [from, to] = Pictures(w, h);
    const double floor = MeasureFloorMs(w, h);
    TStyleTiming t;
    for (auto _ : state)
        t = MeasureStyle(style, from, to, 1);
    state.counters["median_ms"] = t.MedianMs;
    state.counters["worst_ms"] = t.WorstMs;
    state.counters["floor_ms"] = floor;
    state.counters["median_x"] = t.MedianMs / floor;
    state.counters["worst_x"] = t.WorstMs / floor;
    state.counters["goal_x"] = GoalRatio(style, w);
}

void Sizes(benchmark::internal::Benchmark* b) {
    for (auto [w, h] : {std::pair{1920, 1080}, std::pair{3840, 2160}})
        for (int style = 0; style <= 127; ++style)
            b->Args({style, w, h});
}

BENCHMARK(BM_Frame)->Apply(Sizes)->Iterations(2)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
