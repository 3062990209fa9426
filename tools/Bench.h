// SPDX-License-Identifier: MIT
// `tevrin bench`: every style's frame times as ratios to a measured floor.
#pragma once

#include <cstdio>
#include <utility>
#include <vector>

namespace tevrin {

struct TBenchJob {
    std::vector<std::pair<int, int>> Sizes;  // empty: 1920x1080 and 3840x2160
    std::vector<int> Styles;                 // empty: all
    int Repetitions = 3;
};

// Prints a table per size; returns whether every style met its goal.
bool RunBench(const TBenchJob& job, std::FILE* out);

} // namespace tevrin
