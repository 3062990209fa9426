// SPDX-License-Identifier: MIT
#include "gfx/Region.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace tevrin {

void TRegion::AppendBand(int top, int bottom, std::span<const TSpan> spans) {
    if (top >= bottom || spans.empty()) return;
    if (!bands_.empty()) {
        TBand& last = bands_.back();
        std::span<const TSpan> previous = Spans(last);
        if (last.Bottom == top &&
            std::equal(previous.begin(), previous.end(), spans.begin(), spans.end())) {
            last.Bottom = bottom;
            return;
        }
    }
    std::size_t first = spans_.size();
    spans_.insert(spans_.end(), spans.begin(), spans.end());
    bands_.push_back({top, bottom, first, spans_.size()});
}

TRegion TRegion::FromRect(const TRect& rect) {
    TRegion region;
    if (!rect.IsEmpty()) {
        TSpan span{rect.Left, rect.Right};
        region.AppendBand(rect.Top, rect.Bottom, {&span, 1});
    }
    return region;
}

namespace {

// Sorts intervals and merges those that overlap or touch.
template <typename TSpanT> void NormaliseSpans(std::vector<TSpanT>& spans) {
    std::sort(spans.begin(), spans.end(),
              [](const TSpanT& a, const TSpanT& b) { return a.Left < b.Left; });
    std::size_t out = 0;
    for (const TSpanT& s : spans) {
        if (out > 0 && s.Left <= spans[out - 1].Right)
            spans[out - 1].Right = std::max(spans[out - 1].Right, s.Right);
        else
            spans[out++] = s;
    }
    spans.resize(out);
}

// The pixel columns whose centres lie in [a, b).
void CentreSpan(double a, double b, int& left, int& right) {
    left = static_cast<int>(std::ceil(a - 0.5));
    right = static_cast<int>(std::ceil(b - 0.5));
}

// Stable sort of `items` by an integer key: by counting when the keys span
// few values for their number (rectangles of one bitmap), else by comparing.
template <typename T, typename Key> void SortByKey(std::vector<T>& items, Key key) {
    if (items.size() < 2) return;
    auto [low, high] = std::minmax_element(items.begin(), items.end(),
                                           [&](const T& a, const T& b) { return key(a) < key(b); });
    const long long lo = key(*low), range = static_cast<long long>(key(*high)) - lo + 1;
    if (range > 4 * static_cast<long long>(items.size()) + 4096) {
        std::stable_sort(items.begin(), items.end(),
                         [&](const T& a, const T& b) { return key(a) < key(b); });
        return;
    }
    std::vector<std::size_t> start(static_cast<std::size_t>(range) + 1, 0);
    for (const T& item : items)
        ++start[static_cast<std::size_t>(key(item) - lo) + 1];
    for (std::size_t k = 1; k < start.size(); ++k)
        start[k] += start[k - 1];
    std::vector<T> sorted(items.size());
    for (const T& item : items)
        sorted[start[static_cast<std::size_t>(key(item) - lo)]++] = item;
    items.swap(sorted);
}

} // namespace

void TRegionBuilder::AddRow(int y, std::vector<std::pair<int, int>>& spans) {
    std::sort(spans.begin(), spans.end());
    merged_.clear();
    for (const auto& [left, right] : spans) {
        if (left >= right) continue;
        if (!merged_.empty() && left <= merged_.back().Right)
            merged_.back().Right = std::max(merged_.back().Right, right);
        else
            merged_.push_back({left, right});
    }
    region_.AppendBand(y, y + 1, merged_);
}

TRegion TRegion::FromRects(std::span<const TRect> rects) {
    std::vector<TRect> live;
    live.reserve(rects.size());
    for (const TRect& r : rects)
        if (!r.IsEmpty()) live.push_back(r);
    // By top, then left: the rectangles that start on one band's top arrive
    // already in the order of the active list below.
    SortByKey(live, [](const TRect& r) { return r.Left; });
    SortByKey(live, [](const TRect& r) { return r.Top; });
    std::vector<int> edges;
    edges.reserve(live.size() * 2);
    for (const TRect& r : live) {
        edges.push_back(r.Top);
        edges.push_back(r.Bottom);
    }
    SortByKey(edges, [](int y) { return y; });
    edges.erase(std::unique(edges.begin(), edges.end()), edges.end());

    // The rectangles crossing the current rows, kept sorted by left edge so
    // each band's spans come out of one merging walk.
    TRegion region;
    std::vector<const TRect*> active;
    std::vector<TSpan> spans;
    auto by_left = [](const TRect* a, const TRect* b) { return a->Left < b->Left; };
    std::size_t next = 0;
    for (std::size_t e = 0; e + 1 < edges.size(); ++e) {
        const int top = edges[e], bottom = edges[e + 1];
        std::erase_if(active, [top](const TRect* r) { return r->Bottom <= top; });
        const std::size_t old_count = active.size();
        while (next < live.size() && live[next].Top <= top)
            active.push_back(&live[next++]);
        if (active.size() > old_count)
            std::inplace_merge(active.begin(), active.begin() + static_cast<long>(old_count),
                               active.end(), by_left);
        if (active.empty()) continue;
        spans.clear();
        for (const TRect* r : active) {
            if (!spans.empty() && r->Left <= spans.back().Right)
                spans.back().Right = std::max(spans.back().Right, r->Right);
            else
                spans.push_back({r->Left, r->Right});
        }
        region.AppendBand(top, bottom, spans);
    }
    return region;
}

TRegion TRegion::FromRoundRect(const TRect& rect, int ew, int eh, const TRect& clip) {
    TRegion region;
    if (rect.IsEmpty()) return region;
    ew = std::min(std::abs(ew), rect.Width());
    eh = std::min(std::abs(eh), rect.Height());
    const double a = ew / 2.0, b = eh / 2.0;
    const int top = std::max(rect.Top, clip.Top), bottom = std::min(rect.Bottom, clip.Bottom);
    for (int y = top; y < bottom; ++y) {
        double py = y + 0.5, dy = 0;
        if (py < rect.Top + b)
            dy = rect.Top + b - py;
        else if (py > rect.Bottom - b)
            dy = py - (rect.Bottom - b);
        double inset = 0;
        if (dy > 0 && b > 0) inset = a - a * std::sqrt(std::max(0.0, 1 - (dy / b) * (dy / b)));
        TSpan span;
        CentreSpan(rect.Left + inset, rect.Right - inset, span.Left, span.Right);
        span.Left = std::max(span.Left, clip.Left);
        span.Right = std::min(span.Right, clip.Right);
        if (span.Left < span.Right) region.AppendBand(y, y + 1, {&span, 1});
    }
    return region;
}

TRegion TRegion::FromPolygon(std::span<const TPoint> points, const TRect& clip) {
    TRegion region;
    if (points.size() < 3) return region;
    int min_y = INT_MAX, max_y = INT_MIN;
    for (const TPoint& p : points) {
        min_y = std::min(min_y, p.Y);
        max_y = std::max(max_y, p.Y);
    }
    struct TCrossing {
        double X;
        int Direction;
    };
    std::vector<TCrossing> crossings;
    std::vector<TSpan> spans;
    const int top = std::max(min_y, clip.Top), bottom = std::min(max_y, clip.Bottom);
    for (int y = top; y < bottom; ++y) {
        double py = y + 0.5;
        crossings.clear();
        for (std::size_t i = 0; i < points.size(); ++i) {
            const TPoint& p = points[i];
            const TPoint& q = points[(i + 1) % points.size()];
            if (p.Y == q.Y) continue;
            double lo = std::min(p.Y, q.Y), hi = std::max(p.Y, q.Y);
            if (py < lo || py >= hi) continue;
            double x = p.X + (py - p.Y) * (q.X - p.X) / static_cast<double>(q.Y - p.Y);
            crossings.push_back({x, q.Y > p.Y ? 1 : -1});
        }
        std::sort(crossings.begin(), crossings.end(),
                  [](const TCrossing& a, const TCrossing& b) { return a.X < b.X; });
        spans.clear();
        int winding = 0;
        double start = 0;
        for (const TCrossing& c : crossings) {
            int before = winding;
            winding += c.Direction;
            if (before == 0 && winding != 0) start = c.X;
            if (before != 0 && winding == 0) {
                TSpan span;
                CentreSpan(start, c.X, span.Left, span.Right);
                span.Left = std::max(span.Left, clip.Left);
                span.Right = std::min(span.Right, clip.Right);
                if (span.Left < span.Right) spans.push_back(span);
            }
        }
        NormaliseSpans(spans);
        region.AppendBand(y, y + 1, spans);
    }
    return region;
}

TRegion TRegion::Combine(const TRegion& a, const TRegion& b, TOp op) {
    auto keep = [op](bool in_a, bool in_b) {
        switch (op) {
        case TOp::Union:
            return in_a || in_b;
        case TOp::Intersect:
            return in_a && in_b;
        case TOp::Xor:
            return in_a != in_b;
        }
        return false;
    };
    TRegion result;
    std::vector<TSpan> spans;
    std::size_t ia = 0, ib = 0;
    const std::size_t na = a.bands_.size(), nb = b.bands_.size();
    int y = INT_MIN;
    while (true) {
        while (ia < na && a.bands_[ia].Bottom <= y)
            ++ia;
        while (ib < nb && b.bands_[ib].Bottom <= y)
            ++ib;
        if (ia == na && ib == nb) break;
        const bool a_on = ia < na && a.bands_[ia].Top <= y;
        const bool b_on = ib < nb && b.bands_[ib].Top <= y;
        // The next row at which either region changes.
        int next = INT_MAX;
        if (ia < na) next = std::min(next, a_on ? a.bands_[ia].Bottom : a.bands_[ia].Top);
        if (ib < nb) next = std::min(next, b_on ? b.bands_[ib].Bottom : b.bands_[ib].Top);
        if (a_on || b_on) {
            std::span<const TSpan> sa = a_on ? a.Spans(a.bands_[ia]) : std::span<const TSpan>();
            std::span<const TSpan> sb = b_on ? b.Spans(b.bands_[ib]) : std::span<const TSpan>();
            // Walk both span lists' edges in x order.
            spans.clear();
            std::size_t i = 0, j = 0;
            bool in_a = false, in_b = false, in = false;
            int start = 0;
            while (i < sa.size() * 2 || j < sb.size() * 2) {
                int xa = i < sa.size() * 2 ? (i % 2 ? sa[i / 2].Right : sa[i / 2].Left) : INT_MAX;
                int xb = j < sb.size() * 2 ? (j % 2 ? sb[j / 2].Right : sb[j / 2].Left) : INT_MAX;
                int x = std::min(xa, xb);
                if (xa == x) {
                    in_a = !in_a;
                    ++i;
                }
                if (xb == x) {
                    in_b = !in_b;
                    ++j;
                }
                bool now = keep(in_a, in_b);
                if (now != in) {
                    if (now)
                        start = x;
                    else
                        spans.push_back({start, x});
                    in = now;
                }
            }
            result.AppendBand(y, next, spans);
        }
        y = next;
    }
    return result;
}

TRect TRegion::Bounds() const {
    if (bands_.empty()) return {};
    TRect bounds{INT_MAX, bands_.front().Top, INT_MIN, bands_.back().Bottom};
    for (const TBand& band : bands_) {
        bounds.Left = std::min(bounds.Left, spans_[band.First].Left);
        bounds.Right = std::max(bounds.Right, spans_[band.Last - 1].Right);
    }
    return bounds;
}

bool TRegion::Contains(int x, int y) const {
    auto band = std::upper_bound(bands_.begin(), bands_.end(), y,
                                 [](int v, const TBand& b) { return v < b.Bottom; });
    if (band == bands_.end() || band->Top > y) return false;
    for (const TSpan& s : Spans(*band))
        if (x >= s.Left && x < s.Right) return true;
    return false;
}

std::vector<TRect> TRegion::Rects() const {
    std::vector<TRect> rects;
    ForEachRect([&](const TRect& r) { rects.push_back(r); });
    return rects;
}

std::vector<TRect> TRegion::Covering(std::size_t limit) const {
    if (spans_.size() <= limit) return Rects();
    // A band's spans and the gaps between them, as one rectangle; touching
    // bands of the same width as one.
    std::vector<TRect> rects;
    for (const TBand& band : bands_) {
        const TRect r{spans_[band.First].Left, band.Top, spans_[band.Last - 1].Right, band.Bottom};
        TRect* last = rects.empty() ? nullptr : &rects.back();
        if (last != nullptr && last->Bottom == r.Top && last->Left == r.Left &&
            last->Right == r.Right)
            last->Bottom = r.Bottom;
        else
            rects.push_back(r);
    }
    if (rects.size() <= limit) return rects;
    // Runs of as many neighbouring rectangles, with the rows between them.
    const std::size_t per = (rects.size() + limit - 1) / limit;
    std::vector<TRect> runs;
    for (std::size_t i = 0; i < rects.size(); i += per) {
        TRect run;
        for (std::size_t j = i; j < std::min(i + per, rects.size()); ++j)
            run = Bounding(run, rects[j]);
        runs.push_back(run);
    }
    return runs;
}

bool TRegion::operator==(const TRegion& other) const {
    if (bands_.size() != other.bands_.size()) return false;
    for (std::size_t i = 0; i < bands_.size(); ++i) {
        const TBand &x = bands_[i], &y = other.bands_[i];
        if (x.Top != y.Top || x.Bottom != y.Bottom) return false;
        std::span<const TSpan> sx = Spans(x), sy = other.Spans(y);
        if (!std::equal(sx.begin(), sx.end(), sy.begin(), sy.end())) return false;
    }
    return true;
}

} // namespace tevrin
