// SPDX-License-Identifier: MIT
// What a running transition costs the processor: a loop-mode transition at
// 1920x1080 with the saver's defaults (Step 4, Delay 40) on the headless
// platform with a real clock, drawn in 3-byte pixels and in a window
// surface's 4-byte ones (the second argument). Google Benchmark reports
// both its wall time (about one second) and its processor time; the counter
// idle_share is the part of the wall time the process spent waiting.
//
// BM_TwoMonitorsInStep runs the same transition on one 1920x1080 monitor and
// then on two side by side, each with its own pictures (as MonitorMode
// mmEach shows them), in step on one clock, and reports the processor time
// of each and their ratio: the goal is at most 2.2 times, the cost growing
// with the pixels drawn and no more.
#include "picshow/PicShow.h"
#include "platform/headless/HeadlessPlatform.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <ctime>
#include <memory>
#include <vector>

namespace {

using namespace tevrin;

TBitmap24 Busy(int w, int h, int seed) {
    TBitmap24 b(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w * 3; ++x)
            b.Row(y)[x] = static_cast<std::uint8_t>(x * 5 + y * 3 + seed);
    return b;
}

void BM_LoopTransition(benchmark::State& state) {
    const int style = static_cast<int>(state.range(0));
    THeadlessPlatform platform(1920, 1080, THeadlessPlatform::TClock::Real);
    platform.HashFrames = false;
    platform.PixelBytes = static_cast<int>(state.range(1));
    TApplication app(platform);
    TForm form(app);
    form.SetBounds(0, 0, 1920, 1080);
    TPicShow show(form);
    show.SetAlign(TAlign::alClient);
    show.SetStretch(true);
    show.Threaded = false;
    form.Show();
    const TBitmap24 a = Busy(1920, 1080, 1), b = Busy(1920, 1080, 2);
    double cpu_ms = 0, wall_ms = 0;
    int runs = 0;
    for (auto _ : state) {
        show.Style = static_cast<TShowStyle>(style);
        show.SetPicture(runs % 2 ? a : b);
        const std::clock_t cpu0 = std::clock();
        const auto wall0 = std::chrono::steady_clock::now();
        show.Execute();
        cpu_ms += 1000.0 * static_cast<double>(std::clock() - cpu0) / CLOCKS_PER_SEC;
        wall_ms +=
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - wall0)
                .count();
        ++runs;
    }
    state.counters["wall_ms"] = wall_ms / runs;
    state.counters["cpu_ms"] = cpu_ms / runs;
    state.counters["idle_share"] = 1.0 - cpu_ms / wall_ms;
}

// Processor milliseconds of one transition on `views` monitors in step.
double TransitionCpuMs(std::vector<TPicShow*>& views, int style, const TBitmap24& a,
                       const TBitmap24& b, int run) {
    std::vector<TCustomPicShow*> shows;
    for (std::size_t i = 0; i < views.size(); ++i) {
        views[i]->Style = static_cast<TShowStyle>(style);
        views[i]->SetPicture((run + static_cast<int>(i)) % 2 ? a : b);
        shows.push_back(views[i]);
    }
    const std::clock_t cpu0 = std::clock();
    TCustomPicShow::ExecuteTogether(shows);
    return 1000.0 * static_cast<double>(std::clock() - cpu0) / CLOCKS_PER_SEC;
}

void BM_TwoMonitorsInStep(benchmark::State& state) {
    const int style = static_cast<int>(state.range(0));
    THeadlessPlatform platform({{{0, 0, 1920, 1080}}, {{1920, 0, 3840, 1080}}},
                               THeadlessPlatform::TClock::Real);
    platform.HashFrames = false;
    TApplication app(platform);
    std::vector<std::unique_ptr<TForm>> forms;
    std::vector<std::unique_ptr<TPicShow>> shows;
    for (const TMonitor& m : platform.Monitors()) {
        forms.push_back(std::make_unique<TForm>(app));
        forms.back()->SetBounds(m.Bounds.Left, m.Bounds.Top, m.Bounds.Width(), m.Bounds.Height());
        shows.push_back(std::make_unique<TPicShow>(*forms.back()));
        shows.back()->SetAlign(TAlign::alClient);
        shows.back()->SetStretch(true);
        forms.back()->Show();
    }
    const TBitmap24 a = Busy(1920, 1080, 1), b = Busy(1920, 1080, 2);
    std::vector<TPicShow*> one{shows[0].get()}, two{shows[0].get(), shows[1].get()};
    double one_ms = 0, two_ms = 0;
    int runs = 0;
    for (auto _ : state) {
        one_ms += TransitionCpuMs(one, style, a, b, runs);
        two_ms += TransitionCpuMs(two, style, a, b, runs);
        ++runs;
    }
    state.counters["one_cpu_ms"] = one_ms / runs;
    state.counters["two_cpu_ms"] = two_ms / runs;
    state.counters["ratio"] = two_ms / one_ms;
    state.counters["goal"] = 2.2;
}

BENCHMARK(BM_TwoMonitorsInStep)
    ->Arg(51)
    ->Arg(118)
    ->Arg(127)
    ->Iterations(3)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

BENCHMARK(BM_LoopTransition)
    ->Args({51, 3})
    ->Args({51, 4})
    ->Args({118, 3})
    ->Args({118, 4})
    ->Args({127, 3})
    ->Args({127, 4})
    ->Iterations(3)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
