// SPDX-License-Identifier: MIT
// How long the Studio's gallery takes to draw each style: a strip of 25
// frames at 320x180 from two pictures, composed, drawn by the engine and
// encoded as the page receives it, with nothing cached. The goal: every
// style well under a second, here at most a quarter of one. The time of a
// plain cut (style 0: the same composing, copying and encoding, no
// transition) is printed as the floor the styles are compared with. Exits 3
// when a style misses the goal.
//   studio_bench FROM.jpg TO.jpg [REPETITIONS]
#include "effects/Styles.h"
#include "payload/SSFileLocations.h"
#include "tools/studio/Frames.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

using namespace tevrin;

namespace {

double StripMs(const studio::TItem& from, const studio::TItem& to, const TSSFileLocations& record,
               int style, int repetitions) {
    double best = 1e9;
    for (int i = 0; i < repetitions; ++i) {
        // A renderer that keeps nothing: every strip is drawn from the files.
        studio::TRenderer renderer(nullptr, 0);
        const auto start = std::chrono::steady_clock::now();
        const studio::TEncodedPtr strip =
            renderer.TransitionStrip(&from, &to, record, style, 320, 180, 25);
        const std::chrono::duration<double, std::milli> took =
            std::chrono::steady_clock::now() - start;
        if (strip->Bytes.empty()) std::fprintf(stderr, "style %d: an empty strip\n", style);
        best = std::min(best, took.count());
    }
    return best;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: studio_bench FROM.jpg TO.jpg [REPETITIONS]\n");
        return 2;
    }
    const int repetitions = argc > 3 ? std::max(1, std::atoi(argv[3])) : 3;
    studio::TItem from, to;
    from.Path = from.Hash = from.Name = argv[1];
    to.Path = to.Hash = to.Name = argv[2];
    TSSFileLocations record;
    record.FitMode = TFitMode::fmShrink;
    record.BlurBorders = true;

    constexpr double kGoal = 0.25; // of a second
    const double floor = StripMs(from, to, record, 0, repetitions);
    std::printf("Gallery strips: 25 frames at 320x180 with composing and JPEG encoding, fastest "
                "of %d\n  floor (style 0, a plain cut): %.1f ms\n",
                repetitions, floor);
    double slowest = 0, total = 0;
    int slowest_style = 0;
    bool met = true;
    for (const TStyleInfo& style : StyleTable()) {
        const double ms = StripMs(from, to, record, style.Number, repetitions);
        total += ms;
        if (ms > slowest) {
            slowest = ms;
            slowest_style = style.Number;
        }
        const bool ok = ms / 1000 <= kGoal;
        met = met && ok;
        std::printf("  style %3d: %6.1f ms, %.2f of the floor, %.3f of a second (goal %.2f) %s\n",
                    style.Number, ms, ms / floor, ms / 1000, kGoal, ok ? "ok" : "MISSED");
    }
    std::printf("All 128 strips: %.2f s; slowest style %d at %.1f ms: %.3f of a second (goal %.2f) "
                "%s\n",
                total / 1000, slowest_style, slowest, slowest / 1000, kGoal, met ? "ok" : "MISSED");
    return met ? 0 : 3;
}
