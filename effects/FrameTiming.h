// SPDX-License-Identifier: MIT
// Timing of transition frames against a measured floor: one memcpy of a
// whole frame. Shared by the Google Benchmark binary and `tevrin bench`.
#pragma once

#include "gfx/Bitmap24.h"

#include <functional>

namespace tevrin {

struct TStyleTiming {
    int Style = 0;
    double MedianMs = 0, WorstMs = 0;
    int WorstProgress = 0;
};

// The goal for a style's worst frame, as a ratio to the floor.
double GoalRatio(int style, int width);

// Median time of copying a whole frame of w x h, in milliseconds.
double MeasureFloorMs(int w, int h);

// Times DrawEffectFrame at every progress from 1 to 99, keeping the fastest
// of `repetitions` runs of each; reports the median and the worst of those.
TStyleTiming MeasureStyle(int style, const TBitmap24& from, const TBitmap24& to, int repetitions);

// A busy synthetic picture (so no copy can be skipped as uniform).
TBitmap24 BenchPicture(int w, int h, int variant);

} // namespace tevrin
