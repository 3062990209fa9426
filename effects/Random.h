// SPDX-License-Identifier: MIT
// The process-wide pseudo-random generator that the slide show and the
// transition effects share: seed := seed * 134775813 + 1 (mod 2^32), and
// Random(n) is the upper 32 bits of seed * n. Same seed, same sequence, on
// every platform. User-interface thread only.
#pragma once

#include <cstdint>

namespace tevrin {

// An integer from 0 to n - 1; 0 when n is 0 or less.
int Random(int n);

void SetRandSeed(std::uint32_t seed);
std::uint32_t RandSeed();

// Seeds from the time of day in UTC, in milliseconds since midnight: done
// once at program start.
void Randomize();

} // namespace tevrin
