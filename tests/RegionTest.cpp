// SPDX-License-Identifier: MIT
#include "gfx/Region.h"

#include "gfx/Copy.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <random>

namespace tevrin {
namespace {

constexpr int kSize = 48;

// A brute-force pixel set over [-8, kSize + 8)^2 to check regions against.
struct TMask {
    static constexpr int kLo = -8, kHi = kSize + 8, kN = kHi - kLo;
    std::vector<bool> bits = std::vector<bool>(kN * kN, false);
    bool Get(int x, int y) const { return bits[(y - kLo) * kN + (x - kLo)]; }
    void Set(int x, int y, bool v) { bits[(y - kLo) * kN + (x - kLo)] = v; }
    void AddRect(const TRect& r) {
        for (int y = std::max(r.Top, kLo); y < std::min(r.Bottom, kHi); ++y)
            for (int x = std::max(r.Left, kLo); x < std::min(r.Right, kHi); ++x)
                Set(x, y, true);
    }
};

void ExpectSame(const TRegion& region, const TMask& mask, const std::string& what) {
    for (int y = TMask::kLo; y < TMask::kHi; ++y)
        for (int x = TMask::kLo; x < TMask::kHi; ++x)
            ASSERT_EQ(region.Contains(x, y), mask.Get(x, y)) << what << " at " << x << "," << y;
}

// The banding invariants: sorted disjoint bands, sorted spans that neither
// overlap nor touch, no two touching bands with equal spans.
void ExpectCanonical(const TRegion& region) {
    std::vector<TRect> rects = region.Rects();
    for (std::size_t i = 1; i < rects.size(); ++i) {
        const TRect &a = rects[i - 1], &b = rects[i];
        ASSERT_FALSE(a.IsEmpty());
        if (a.Top == b.Top) {
            ASSERT_EQ(a.Bottom, b.Bottom);
            ASSERT_LT(a.Right, b.Left) << "spans touch or overlap";
        } else {
            ASSERT_LE(a.Bottom, b.Top) << "bands overlap";
        }
    }
}

TRect RandomRect(std::mt19937& rng) {
    std::uniform_int_distribution<int> at(-6, kSize + 2), size(0, 20);
    int x = at(rng), y = at(rng);
    return {x, y, x + size(rng), y + size(rng)};
}

TEST(Region, CombineMatchesAPixelMaskOnRandomInputs) {
    std::mt19937 rng(1234);
    for (int round = 0; round < 300; ++round) {
        TMask ma, mb;
        std::vector<TRect> ra, rb;
        for (int i = 0; i < 1 + round % 7; ++i)
            ra.push_back(RandomRect(rng));
        for (int i = 0; i < 1 + round % 5; ++i)
            rb.push_back(RandomRect(rng));
        // Now and then a rectangle far away, outside the mask: coordinates
        // too spread out to sort by counting.
        if (round % 3 == 0) ra.push_back({1 << 24, -(1 << 22), (1 << 24) + 9, -(1 << 22) + 4});
        for (const TRect& r : ra)
            ma.AddRect(r);
        for (const TRect& r : rb)
            mb.AddRect(r);
        TRegion a = TRegion::FromRects(ra), b = TRegion::FromRects(rb);
        ExpectSame(a, ma, "FromRects");
        ExpectCanonical(a);
        for (auto op : {TRegion::TOp::Union, TRegion::TOp::Intersect, TRegion::TOp::Xor}) {
            TRegion c = TRegion::Combine(a, b, op);
            TMask mc;
            for (int y = TMask::kLo; y < TMask::kHi; ++y)
                for (int x = TMask::kLo; x < TMask::kHi; ++x) {
                    bool pa = ma.Get(x, y), pb = mb.Get(x, y);
                    mc.Set(x, y,
                           op == TRegion::TOp::Union       ? pa || pb
                           : op == TRegion::TOp::Intersect ? pa && pb
                                                           : pa != pb);
                }
            ExpectSame(c, mc, "Combine");
            ExpectCanonical(c);
        }
        // One set, one representation: a sweep and one-by-one unions agree.
        TRegion one_by_one;
        for (const TRect& r : ra)
            one_by_one = TRegion::Combine(one_by_one, TRegion::FromRect(r), TRegion::TOp::Union);
        EXPECT_TRUE(one_by_one == a);
    }
}

TEST(Rect, BoundingAndIntersectionTreatEmptyAsNothing) {
    const TRect a{0, 0, 10, 10}, b{5, 8, 20, 12}, empty{30, 30, 30, 40};
    EXPECT_EQ(Bounding(a, b), (TRect{0, 0, 20, 12}));
    EXPECT_EQ(Bounding(empty, b), b);
    EXPECT_EQ(Bounding(a, empty), a);
    EXPECT_EQ(Intersection(a, b), (TRect{5, 8, 10, 10}));
    // Touching edges share nothing (right and bottom are exclusive).
    EXPECT_TRUE(Intersection(a, TRect{10, 0, 20, 10}).IsEmpty());
    EXPECT_EQ(Intersection(a, TRect{10, 0, 20, 10}), TRect{});
}

TEST(Region, EmptyPiecesAndBounds) {
    TRegion empty = TRegion::FromRects(std::vector<TRect>{{5, 5, 5, 9}, {3, 3, 1, 8}});
    EXPECT_TRUE(empty.IsEmpty());
    TRegion r = TRegion::FromRects(
        std::vector<TRect>{{0, 0, 10, 4}, {20, 0, 30, 4}, {0, 4, 40, 9}, {10, 12, 20, 15}});
    EXPECT_EQ(r.Bounds(), (TRect{0, 0, 40, 15}));
    EXPECT_EQ(r.BandCount(), 3u);
    EXPECT_TRUE(TRegion::Combine(r, r, TRegion::TOp::Xor).IsEmpty());
    // Touching rectangles merge into one span and one band.
    TRegion merged =
        TRegion::FromRects(std::vector<TRect>{{0, 0, 5, 5}, {5, 0, 9, 5}, {0, 5, 9, 8}});
    EXPECT_EQ(merged.Rects(), (std::vector<TRect>{{0, 0, 9, 8}}));
}

// However many rectangles a region has, a few disjoint ones hold all of it,
// and as tightly as its own shape allows.
TEST(Region, CoveringHoldsTheRegionInAFewDisjointRectangles) {
    auto area = [](const std::vector<TRect>& rects) {
        std::uint64_t n = 0;
        for (const TRect& r : rects)
            n += static_cast<std::uint64_t>(r.Width()) * r.Height();
        return n;
    };
    auto check = [&](const TRegion& region, std::size_t limit) {
        const std::vector<TRect> rects = region.Covering(limit);
        EXPECT_LE(rects.size(), limit);
        const TRegion covered = TRegion::FromRects(rects);
        EXPECT_EQ(TRegion::Combine(covered, region, TRegion::TOp::Intersect), region);
        EXPECT_EQ(area(covered.Rects()), area(rects)) << "overlapping rectangles";
        return rects;
    };
    std::vector<TRect> teeth, strips;
    for (int i = 0; i < 40; ++i) {
        teeth.push_back({i * 10, 20, i * 10 + 3, 60});
        strips.push_back({0, i * 10, 400, i * 10 + 2});
    }
    const TRegion comb = TRegion::FromRects(teeth), blinds = TRegion::FromRects(strips);
    // Few enough: the region's own rectangles.
    EXPECT_EQ(check(comb, 40), comb.Rects());
    // Too many in one band: the band.
    EXPECT_EQ(check(comb, 39), (std::vector<TRect>{{0, 20, 393, 60}}));
    // Too many bands: runs of neighbouring ones, no more pixels than the
    // gaps within a run.
    const std::vector<TRect> runs = check(blinds, 8);
    EXPECT_EQ(runs.size(), 8u);
    EXPECT_EQ(area(runs), 8u * (4 * 10 + 2) * 400);
    EXPECT_EQ(check(blinds, 1), (std::vector<TRect>{{0, 0, 400, 392}}));
    EXPECT_TRUE(TRegion().Covering(4).empty());
    std::mt19937 rng(7);
    for (int k = 0; k < 50; ++k) {
        std::vector<TRect> random;
        for (int i = 0; i < 30; ++i)
            random.push_back(RandomRect(rng));
        check(TRegion::FromRects(random), 1 + k % 9);
    }
}

TEST(Region, RoundRectKeepsPixelsWhoseCentresLieInside) {
    struct {
        TRect rect;
        int ew, eh;
    } cases[] = {{{2, 3, 40, 30}, 20, 14},
                 {{-30, -10, 20, 60}, 100, 100},
                 {{5, 5, 6, 40}, 3, 3},
                 {{0, 0, 48, 48}, 0, 0}};
    for (const auto& c : cases) {
        TRect clip{0, 0, kSize, kSize};
        TRegion region = TRegion::FromRoundRect(c.rect, c.ew, c.eh, clip);
        ExpectCanonical(region);
        double a = std::min(c.ew, c.rect.Width()) / 2.0, b = std::min(c.eh, c.rect.Height()) / 2.0;
        TMask mask;
        for (int y = 0; y < kSize; ++y)
            for (int x = 0; x < kSize; ++x) {
                double px = x + 0.5, py = y + 0.5;
                bool inside = px >= c.rect.Left && px <= c.rect.Right && py >= c.rect.Top &&
                              py <= c.rect.Bottom;
                // Outside the rounded corner's quarter ellipse?
                double cx = std::clamp(px, c.rect.Left + a, c.rect.Right - a);
                double cy = std::clamp(py, c.rect.Top + b, c.rect.Bottom - b);
                if (inside && a > 0 && b > 0 && (px != cx && py != cy)) {
                    double ex = (px - cx) / a, ey = (py - cy) / b;
                    inside = ex * ex + ey * ey <= 1.0 + 1e-9;
                }
                mask.Set(x, y, inside);
            }
        // The two rules may differ on pixels whose centre lies on the curve.
        int differences = 0;
        for (int y = 0; y < kSize; ++y)
            for (int x = 0; x < kSize; ++x)
                differences += region.Contains(x, y) != mask.Get(x, y);
        EXPECT_LE(differences, 2) << c.rect.Left << "," << c.rect.Top;
    }
}

TEST(Region, PolygonsFillByTheWindingRule) {
    TRect clip{0, 0, kSize, kSize};
    // The upper-left half of a square, cut by its diagonal.
    const TPoint half[] = {{0, 0}, {40, 0}, {0, 40}};
    TRegion triangle = TRegion::FromPolygon(half, clip);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x)
            ASSERT_EQ(triangle.Contains(x, y), x + 0.5 < 40 - (y + 0.5)) << x << "," << y;
    // A self-overlapping star: the winding rule fills its centre too.
    const TPoint star[] = {{24, 2}, {36, 44}, {4, 16}, {44, 16}, {12, 44}};
    TRegion filled = TRegion::FromPolygon(star, clip);
    EXPECT_TRUE(filled.Contains(24, 24));
    EXPECT_TRUE(filled.Contains(24, 8));
    EXPECT_FALSE(filled.Contains(4, 40));
    ExpectCanonical(filled);
    // Degenerate shapes are empty.
    const TPoint flat[] = {{0, 5}, {30, 5}, {10, 5}};
    EXPECT_TRUE(TRegion::FromPolygon(flat, clip).IsEmpty());
}

TBitmap24 Numbered(int w, int h) {
    TBitmap24 b(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            b.Row(y)[x * 3] = static_cast<std::uint8_t>(x);
            b.Row(y)[x * 3 + 1] = static_cast<std::uint8_t>(y);
            b.Row(y)[x * 3 + 2] = 9;
        }
    return b;
}

TEST(Copy, StretchCopyMapsNearestPixelsMirrorsAndClips) {
    TBitmap24 src = Numbered(40, 30);
    TBitmap24 dst(40, 30);
    auto at = [&](int x, int y) {
        const std::uint8_t* p = dst.Row(y) + x * 3;
        return std::make_tuple(int(p[0]), int(p[1]), int(p[2]));
    };
    // Same sizes: a plain copy, offset and clipped.
    StretchCopy(dst, {-5, 2, 35, 32}, src, {0, 0, 40, 30});
    EXPECT_EQ(at(0, 2), std::make_tuple(5, 0, 9));
    EXPECT_EQ(at(34, 29), std::make_tuple(39, 27, 9));
    EXPECT_EQ(at(35, 2), std::make_tuple(0, 0, 0));
    // Doubling: destination pixel i takes source (2i + 1) * s / 2n.
    dst = TBitmap24(40, 30);
    StretchCopy(dst, {0, 0, 40, 30}, src, {10, 10, 30, 25});
    EXPECT_EQ(at(0, 0), std::make_tuple(10, 10, 9));
    EXPECT_EQ(at(1, 1), std::make_tuple(10, 10, 9));
    EXPECT_EQ(at(2, 2), std::make_tuple(11, 11, 9));
    EXPECT_EQ(at(39, 29), std::make_tuple(29, 24, 9));
    // A negative extent mirrors within [origin + extent, origin).
    dst = TBitmap24(40, 30);
    StretchCopy(dst, 20, 0, -10, 30, src, 0, 0, 10, 30);
    EXPECT_EQ(at(10, 5), std::make_tuple(9, 5, 9));
    EXPECT_EQ(at(19, 5), std::make_tuple(0, 5, 9));
    EXPECT_EQ(at(20, 5), std::make_tuple(0, 0, 0));
    // Source pixels outside the bitmap are not drawn.
    dst = TBitmap24(40, 30);
    StretchCopy(dst, {0, 0, 10, 10}, src, {35, 0, 45, 10});
    EXPECT_EQ(at(4, 0), std::make_tuple(39, 0, 9));
    EXPECT_EQ(at(5, 0), std::make_tuple(0, 0, 0));
}

TEST(Copy, CopyClippedAndFill) {
    TBitmap24 src = Numbered(20, 20), dst(20, 20);
    TRegion clip = TRegion::FromRects(std::vector<TRect>{{2, 2, 5, 5}, {-4, 18, 40, 40}});
    CopyClipped(dst, src, clip);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x)
            ASSERT_EQ(dst.Row(y)[x * 3 + 2], clip.Contains(x, y) ? 9 : 0) << x << "," << y;
    // Many narrow spans take the masked path; odd widths test its tail.
    std::vector<TRect> columns;
    for (int x = -3; x < 25; x += 2)
        columns.push_back({x, 3 + x % 5, x + 1, 19});
    TRegion comb = TRegion::FromRects(columns);
    TBitmap24 masked(19, 20);
    CopyClipped(masked, Numbered(19, 20), comb);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 19; ++x)
            ASSERT_EQ(masked.Row(y)[x * 3 + 2], comb.Contains(x, y) ? 9 : 0) << x << "," << y;
    // Inside and outside chosen per pixel: bands beyond the bitmap, rows
    // above, between and below them, and both the wide and the masked path.
    for (const TRegion& r : {clip, comb, TRegion::FromRect({-5, 4, 30, 6}), TRegion()}) {
        TBitmap24 both(19, 20), inside = Numbered(19, 20), outside(19, 20);
        std::fill_n(outside.Bits(), outside.ByteSize(), 0x33);
        std::fill_n(both.Bits(), both.ByteSize(), 0x77);
        CopySelected(both, inside, outside, r);
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 19; ++x)
                ASSERT_TRUE(std::equal(both.Row(y) + x * 3, both.Row(y) + x * 3 + 3,
                                       (r.Contains(x, y) ? inside : outside).Row(y) + x * 3))
                    << x << "," << y;
    }
    FillRect(dst, {-3, -3, 2, 1}, 0x0000FF);
    EXPECT_EQ(dst.Row(0)[2], 255);
    EXPECT_EQ(dst.Row(0)[0], 0);
    EXPECT_EQ(dst.Row(1)[2], 0);
}

TEST(Copy, PixelsWidenToFourBytesWhateverTheRowsLength) {
    // Lengths below, at and past the four-pixel steps and their tail.
    for (int count : {0, 1, 3, 4, 5, 6, 7, 8, 9, 17, 37, 64}) {
        std::vector<std::uint8_t> bgr(static_cast<std::size_t>(count) * 3);
        for (std::size_t i = 0; i < bgr.size(); ++i)
            bgr[i] = static_cast<std::uint8_t>(i * 7 + 3);
        // One pixel's room more than asked for: nothing may be written there.
        std::vector<std::uint8_t> bgrx(static_cast<std::size_t>(count) * 4 + 4, 0x11);
        WidenPixels(bgr.data(), bgrx.data(), count);
        for (int x = 0; x < count; ++x) {
            const std::uint8_t* p = bgrx.data() + 4 * x;
            ASSERT_EQ(p[0], bgr[3 * x]) << count << " at " << x;
            ASSERT_EQ(p[1], bgr[3 * x + 1]) << count << " at " << x;
            ASSERT_EQ(p[2], bgr[3 * x + 2]) << count << " at " << x;
            ASSERT_EQ(p[3], 255) << count << " at " << x;
        }
        for (int k = 0; k < 4; ++k)
            EXPECT_EQ(bgrx[static_cast<std::size_t>(count) * 4 + k], 0x11) << count;
    }
}

} // namespace
} // namespace tevrin
