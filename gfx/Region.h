// SPDX-License-Identifier: MIT
// A set of pixels, stored as y-x banded rectangles like the classic
// platform's regions:
//
//        x:  0    10   20   30   40
//   top 0    +----+    +----+          band 0: rows [0, 4)   spans [0,10) [20,30)
//            |    |    |    |
//   4        +----+----+----+----+     band 1: rows [4, 9)   span  [0,40)
//            |                   |
//   9        +-------------------+
//            (no band: rows 9..11 are empty)
//   12            +----+               band 2: rows [12, 15) span  [10,20)
//   15            +----+
//
// Invariants, which every constructor and Combine keep:
//  - bands are sorted by top and do not overlap (band i's bottom <= band i+1's top);
//  - every band holds at least one span; its spans are sorted, non-empty, and
//    neither overlap nor touch;
//  - two bands that touch vertically never hold the same spans (they would be
//    one band).
// So one set of pixels has exactly one representation, and == compares sets.
// Rectangles are half-open: (left, top, right, bottom), right and bottom
// exclusive.
#pragma once

#include "gfx/Rect.h"

#include <span>
#include <utility>
#include <vector>

namespace tevrin {

struct TPoint {
    int X = 0;
    int Y = 0;
};

class TRegion {
public:
    enum class TOp { Union, Intersect, Xor };

    // A run of columns [Left, Right) within a band.
    struct TSpan {
        int Left, Right;
        bool operator==(const TSpan&) const = default;
    };

    TRegion() = default;
    static TRegion FromRect(const TRect& rect);
    // The union of many rectangles in one sweep, overlapping ones included:
    // far cheaper than uniting them one at a time.
    static TRegion FromRects(std::span<const TRect> rects);
    // A rectangle whose corners are rounded by quarter ellipses of full width
    // ew and height eh (each at most the rectangle's own size), kept to the
    // rows and columns of `clip`. A pixel belongs when its centre lies inside.
    static TRegion FromRoundRect(const TRect& rect, int ew, int eh, const TRect& clip);
    // A closed polygon filled by the winding rule, kept to `clip`. A pixel
    // belongs when its centre lies inside.
    static TRegion FromPolygon(std::span<const TPoint> points, const TRect& clip);

    static TRegion Combine(const TRegion& a, const TRegion& b, TOp op);

    bool IsEmpty() const { return bands_.empty(); }
    TRect Bounds() const;
    bool Contains(int x, int y) const;
    // Every rectangle, band by band, left to right.
    std::vector<TRect> Rects() const;
    // At most `limit` (at least 1) disjoint rectangles holding the region,
    // top to bottom: its own rectangles when few enough, else each band's
    // whole width, else runs of neighbouring bands with the rows between.
    std::vector<TRect> Covering(std::size_t limit) const;
    template <typename F> void ForEachRect(F&& visit) const {
        for (const TBand& band : bands_)
            for (std::size_t i = band.First; i < band.Last; ++i)
                visit(TRect{spans_[i].Left, band.Top, spans_[i].Right, band.Bottom});
    }
    std::size_t BandCount() const { return bands_.size(); }

    bool operator==(const TRegion& other) const;

    // visit(top, bottom, spans) for every band, top to bottom.
    template <typename F> void ForEachBand(F&& visit) const {
        for (const TBand& band : bands_)
            visit(band.Top, band.Bottom, Spans(band));
    }

private:
    struct TBand {
        int Top, Bottom;
        std::size_t First, Last; // spans_[First, Last)
    };

    // Appends rows [top, bottom) holding `spans` (sorted, disjoint, not
    // touching); merges them into the last band when it touches and matches.
    void AppendBand(int top, int bottom, std::span<const TSpan> spans);
    std::span<const TSpan> Spans(const TBand& band) const {
        return {spans_.data() + band.First, band.Last - band.First};
    }

    friend class TRegionBuilder;

    std::vector<TBand> bands_;
    std::vector<TSpan> spans_;
};

// Builds a region one pixel row at a time, rows in increasing order.
class TRegionBuilder {
public:
    // The row's spans [first, second), in any order, overlapping or not.
    void AddRow(int y, std::vector<std::pair<int, int>>& spans);
    TRegion Finish() { return std::move(region_); }

private:
    TRegion region_;
    std::vector<TRegion::TSpan> merged_;
};

} // namespace tevrin
