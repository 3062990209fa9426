// SPDX-License-Identifier: MIT
#include "effects/FrameTiming.h"

#include "effects/BitmapHost.h"
#include "effects/Random.h"
#include "effects/Styles.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <vector>

namespace tevrin {
namespace {

using TClock = std::chrono::steady_clock;

double Ms(TClock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

} // namespace

double GoalRatio(int style, int width) {
    const TStyleInfo& info = StyleTable()[static_cast<std::size_t>(style)];
    return width >= 3840 ? info.GoalAt4K : info.GoalAt1080;
}

double MeasureFloorMs(int w, int h) {
    const std::size_t bytes = static_cast<std::size_t>(TBitmap24::StrideFor(w)) * h;
    std::vector<std::uint8_t> a(bytes, 1), b(bytes, 2);
    std::vector<double> times;
    for (int i = 0; i < 31; ++i) {
        auto start = TClock::now();
        std::memcpy(b.data(), a.data(), bytes);
        times.push_back(Ms(TClock::now() - start));
        a[i % bytes] = b[(i * 7) % bytes]; // keeps the copies from being elided
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

TStyleTiming MeasureStyle(int style, const TBitmap24& from, const TBitmap24& to, int repetitions) {
    TBitmapFrameHost host(from, to, style);
    SetRandSeed(12345);
    std::vector<double> best(99, 1e30);
    for (int r = 0; r < repetitions; ++r)
        for (int p = 1; p <= 99; ++p) {
            auto start = TClock::now();
            host.Draw(p);
            best[p - 1] = std::min(best[p - 1], Ms(TClock::now() - start));
        }
    TStyleTiming t;
    t.Style = style;
    auto worst = std::max_element(best.begin(), best.end());
    t.WorstMs = *worst;
    t.WorstProgress = static_cast<int>(worst - best.begin()) + 1;
    std::sort(best.begin(), best.end());
    t.MedianMs = best[best.size() / 2];
    return t;
}

TBitmap24 BenchPicture(int w, int h, int variant) {
    TBitmap24 b(w, h);
    for (int y = 0; y < h; ++y) {
        std::uint8_t* row = b.Row(y);
        for (int x = 0; x < w; ++x) {
            row[x * 3] = static_cast<std::uint8_t>(x * 3 + variant * 50);
            row[x * 3 + 1] = static_cast<std::uint8_t>(y * 5 + x);
            row[x * 3 + 2] = static_cast<std::uint8_t>((x ^ y) + variant * 90);
        }
    }
    return b;
}

} // namespace tevrin
