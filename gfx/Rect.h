// SPDX-License-Identifier: MIT
// Rectangles and the rounded multiply-then-divide that effect geometry uses.
#pragma once

#include <cstdint>

namespace tevrin {

// (left, top, right, bottom) in pixels; right and bottom are exclusive, so a
// rectangle with left == right or top == bottom is empty.
struct TRect {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;

    constexpr int Width() const { return Right - Left; }
    constexpr int Height() const { return Bottom - Top; }
    constexpr bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
    constexpr bool Contains(int x, int y) const {
        return x >= Left && x < Right && y >= Top && y < Bottom;
    }
    constexpr bool operator==(const TRect&) const = default;
};

// The smallest rectangle holding both; an empty one counts as nothing.
constexpr TRect Bounding(const TRect& a, const TRect& b) {
    if (a.IsEmpty()) return b;
    if (b.IsEmpty()) return a;
    return {a.Left < b.Left ? a.Left : b.Left, a.Top < b.Top ? a.Top : b.Top,
            a.Right > b.Right ? a.Right : b.Right, a.Bottom > b.Bottom ? a.Bottom : b.Bottom};
}

// What the two have in common; empty when nothing.
constexpr TRect Intersection(const TRect& a, const TRect& b) {
    const TRect r{a.Left > b.Left ? a.Left : b.Left, a.Top > b.Top ? a.Top : b.Top,
                  a.Right < b.Right ? a.Right : b.Right, a.Bottom < b.Bottom ? a.Bottom : b.Bottom};
    return r.IsEmpty() ? TRect{} : r;
}

// a * b / c with a 64-bit intermediate, rounded to nearest, halves away from
// zero. A zero divisor gives -1, as the classic platform's call does.
constexpr int MulDiv(int a, int b, int c) {
    if (c == 0) return -1;
    std::int64_t num = static_cast<std::int64_t>(a) * b;
    bool negative = (num < 0) != (c < 0);
    std::int64_t n = num < 0 ? -num : num;
    std::int64_t d = c < 0 ? -static_cast<std::int64_t>(c) : c;
    std::int64_t q = (n + d / 2) / d;
    return static_cast<int>(negative ? -q : q);
}

} // namespace tevrin
