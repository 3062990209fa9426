// What a running transition costs the processor: a loop-mode transition at
// 1920x1080 with the saver's defaults (Step 4, Delay 40) on the headless
// platform with a real clock. Google Benchmark reports both its wall time
// (about one second) and its processor time; the counter idle_share is the
// part of the wall time the process spent waiting.
#include "picshow/PicShow.h"
#include "platform/headless/HeadlessPlatform.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <ctime>

namespace {

using namespace tevrin;

TBitmap24 Busy(int w, int h, int seed) {
    TBitmap24 b(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w * 3; ++x) b.Row(y)[x] = static_cast<std::uint8_t>(x * 5 + y * 3 + seed);
    return b;
}

void BM_LoopTransition(benchmark::State& state) {
    const int style = static_cast<int>(state.range(0));
    THeadlessPlatform platform(1920, 1080, THeadlessPlatform::TClock::Real);
    platform.HashFrames = false;
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
        wall_ms += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - wall0).count();
        ++runs;
    }
    state.counters["wall_ms"] = wall_ms / runs;
    state.counters["cpu_ms"] = cpu_ms / runs;
    state.counters["idle_share"] = 1.0 - cpu_ms / wall_ms;
}

BENCHMARK(BM_LoopTransition)->Arg(51)->Arg(118)->Arg(127)->Iterations(3)->UseRealTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
