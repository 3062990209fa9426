// SPDX-License-Identifier: MIT
#include "effects/Random.h"

#include <chrono>

namespace tevrin {
namespace {

std::uint32_t g_seed = 0;

} // namespace

int Random(int n) {
    g_seed = g_seed * 134775813u + 1u;
    if (n <= 0) return 0;
    return static_cast<int>((static_cast<std::uint64_t>(g_seed) * static_cast<std::uint32_t>(n)) >> 32);
}

void SetRandSeed(std::uint32_t seed) { g_seed = seed; }
std::uint32_t RandSeed() { return g_seed; }

void Randomize() {
    using namespace std::chrono;
    auto now = system_clock::now().time_since_epoch();
    g_seed = static_cast<std::uint32_t>(duration_cast<milliseconds>(now).count() % 86400000);
}

} // namespace tevrin
