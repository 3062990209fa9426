// SPDX-License-Identifier: MIT
#include "tools/Bench.h"

#include "effects/Effects.h"
#include "effects/FrameTiming.h"
#include "effects/Styles.h"

namespace tevrin {

bool RunBench(const TBenchJob& job, std::FILE* out) {
    std::vector<std::pair<int, int>> sizes = job.Sizes;
    if (sizes.empty()) sizes = {{1920, 1080}, {3840, 2160}};
    std::vector<int> styles = job.Styles;
    if (styles.empty())
        for (const TStyleInfo& style : StyleTable())
            styles.push_back(style.Number);

    bool all_met = true;
    for (auto [w, h] : sizes) {
        const TBitmap24 from = BenchPicture(w, h, 0), to = BenchPicture(w, h, 1);
        const double floor = MeasureFloorMs(w, h);
        std::fprintf(out, "%dx%d: floor (memcpy of a frame) %.3f ms\n", w, h, floor);
        std::fprintf(out, "style  median ms  worst ms (at %%)  median x  worst x  goal\n");
        int met = 0;
        for (int style : styles) {
            TStyleTiming t = MeasureStyle(style, from, to, job.Repetitions);
            const double goal = GoalRatio(style, w), worst = t.WorstMs / floor;
            const bool ok = worst <= goal;
            met += ok;
            std::fprintf(out, "%5d  %9.3f  %8.3f (%3d)  %8.2f  %7.2f  %4.0f %s\n", style,
                         t.MedianMs, t.WorstMs, t.WorstProgress, t.MedianMs / floor, worst, goal,
                         ok ? "" : "OVER");
            std::fflush(out);
        }
        std::fprintf(out, "%dx%d: %d of %zu styles within their goal\n\n", w, h, met,
                     styles.size());
        all_met &= met == static_cast<int>(styles.size());
    }
    return all_met;
}

} // namespace tevrin
