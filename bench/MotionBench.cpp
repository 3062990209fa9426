// SPDX-License-Identifier: MIT
// What a moving picture costs: one frame of a photograph zooming and
// panning over a screen, against the floor of one copy of a screen-sized
// frame in the display's 32-bit format, measured in the same run.
//
//   motion_bench [--repetitions N]
//
// At 1920x1080 and 3840x2160 it prints a frame's cost, the share of one
// core that 25 frames a second take, and the ratio to the floor. The goal:
// a frame within 3 times the floor. Exits 3 when it is missed.
#include "platform/SystemText.h"
#include "show/Motion.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace tevrin;
using TClock = std::chrono::steady_clock;

constexpr double kGoalRatio = 3.0;
constexpr int kFramesPerSecond = 25;

// Sky, hills and fine texture: a photograph's detail at every scale.
TBitmap24 PhotoLike(int w, int h) {
    TBitmap24 b(w, h, TBitmap24::kUndefined);
    for (int y = 0; y < h; ++y) {
        std::uint8_t* row = b.Row(y);
        for (int x = 0; x < w; ++x) {
            const double u = static_cast<double>(x) / w, v = static_cast<double>(y) / h;
            const double detail = std::sin(u * 310 + v * 170) * std::sin(v * 260 - u * 90);
            row[x * 3] = static_cast<std::uint8_t>(v < 0.55 ? 230 : 50 + 30 * detail);
            row[x * 3 + 1] = static_cast<std::uint8_t>(110 + 60 * v + 35 * detail);
            row[x * 3 + 2] = static_cast<std::uint8_t>(70 + 100 * u + 40 * detail);
        }
    }
    return b;
}

// The least of `repetitions` timings of `runs` calls, in milliseconds a call.
template <typename TCall> double Best(int repetitions, int runs, TCall call) {
    double best = 1e300;
    for (int r = 0; r < repetitions; ++r) {
        const auto start = TClock::now();
        for (int k = 0; k < runs; ++k)
            call(k);
        const std::chrono::duration<double, std::milli> took = TClock::now() - start;
        best = std::min(best, took.count() / runs);
    }
    return best;
}

} // namespace

int main(int argc, char** argv) {
    int repetitions = 5;
    for (int i = 1; i < argc; ++i)
        if (std::string(argv[i]) == "--repetitions" && i + 1 < argc)
            repetitions = std::max(1, std::atoi(argv[++i]));
    const std::unique_ptr<TTextEngine> engine = MakeSystemTextEngine();
    TShowChoices choices;
    choices.Fit = TFitMode::fmFill;
    bool met = true;
    std::printf("%-10s %10s %10s %12s %8s\n", "screen", "frame ms", "floor ms", "core at 25/s",
                "ratio");
    for (const auto& [w, h] : {std::pair{1920, 1080}, std::pair{3840, 2160}}) {
        // A photograph a little larger than the screen, as cameras give.
        const TShowPicture picture{{}, PhotoLike(w * 5 / 4, h * 5 / 4)};
        const TMovingSlide slide(picture, "Evening on the dunes", choices, {w, h, 96}, *engine, 7);
        // Drawn in the display's format, as a show on a display draws it.
        TBitmap24 screen(w, h, TBitmap24::kPixels32);
        constexpr int kRuns = 20;
        const double frame =
            Best(repetitions, kRuns, [&](int k) { slide.Draw(k / (kRuns - 1.0), screen); });
        std::vector<std::uint8_t> from(static_cast<std::size_t>(w) * h * 4, 1), to(from.size());
        const double floor = Best(repetitions, kRuns, [&](int k) {
            from[static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(k);
            std::memcpy(to.data(), from.data(), from.size());
        });
        const double ratio = frame / floor;
        met = met && ratio <= kGoalRatio;
        std::printf("%4dx%-5d %10.2f %10.2f %11.1f%% %8.2f  (goal %.1f)%s\n", w, h, frame, floor,
                    frame * kFramesPerSecond / 10.0, ratio, kGoalRatio,
                    ratio <= kGoalRatio ? "" : "  MISSED");
    }
    return met ? 0 : 3;
}
