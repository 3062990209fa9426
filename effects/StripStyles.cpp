// SPDX-License-Identifier: MIT
// Styles 60..68, 71..79, 86..109 and 123..127: regions built from many thin
// strips. Combs of 5-pixel bars, strips with randomly jittered ends, a wipe
// whose edge crumbles into blocks, and random speckles. The random draws are
// made in the order the rules mention them, so a fixed seed gives a fixed
// frame.
#include "effects/Frame.h"
#include "effects/Random.h"

#include <algorithm>
#include <vector>

namespace tevrin {
namespace {

using TRects = std::vector<TRect>;

// Bars 5 pixels high: first-pass bars at rows [10k, 10k + 5), second-pass
// bars at [10k + 5, 10k + 10). `a` runs to 2W for a two-pass comb. The
// vertical pass is the same on columns, with the bottom edge for the right.
// Modes: 1 both passes from the right, 2 both from the left, 3 one pass with
// first-pass bars from the right and second-pass bars from the left at once,
// 4 left then right, 5 right then left.
void CombPass(TRects& out, int a, int w, int h, int d, int mode, bool vertical) {
    auto add = [&](int x0, int x1, int y0, int y1) {
        out.push_back(vertical ? TRect{y0, x0, y1, x1} : TRect{x0, y0, x1, y1});
    };
    if (a <= w) {
        if (a + d > w) a = w; // the bars snap to full length near the end
        for (int y = 0; y < h + 5; y += 10) {
            if (mode == 1 || mode == 5)
                add(w - a, w, y, y + 5);
            else if (mode == 2 || mode == 4)
                add(0, a, y, y + 5);
            else if (mode == 3) {
                add(w - a, w, y, y + 5);
                add(0, a, y + 5, y + 10);
            }
        }
    } else {
        for (int y = 5; y < h + 5; y += 10) {
            add(0, w, y - 5, y);
            if (mode == 1 || mode == 4)
                add(2 * w - a, w, y, y + 5);
            else if (mode == 2 || mode == 5)
                add(0, a - w, y, y + 5);
        }
    }
}

TRegion CombRegion(int a, int b, int w, int h, int d, int hmode, int vmode) {
    TRects rects;
    if (hmode != 0) CombPass(rects, a, w, h, d, hmode, false);
    if (vmode != 0) CombPass(rects, b, h, w, d, vmode, true);
    return TRegion::FromRects(rects);
}

// Strips 5 pixels apart, each 5 + (side mod 5) thick so the last one reaches
// the edge, whose ends are jittered by up to a seventh of the side.
void RaggedPass(TRects& out, int x, int w, int h, int mode, bool vertical) {
    auto add = [&](int x0, int x1, int y0, int y1) {
        out.push_back(vertical ? TRect{y0, x0, y1, x1} : TRect{x0, y0, x1, y1});
    };
    const int j = x < w ? w / 7 : 0;
    const int thick = 5 + h % 5;
    for (int y = 0; y < h; y += 5) {
        const int r1 = Random(j), r2 = Random(j);
        switch (mode) {
        case 1:
            add(w - x + r1 - r2, w, y, y + thick);
            break;
        case 2:
            add(0, x + r1 - r2, y, y + thick);
            break;
        case 3: {
            add(((w - x) + r1 - r2) / 2, w / 2, y, y + thick);
            const int r3 = Random(j), r4 = Random(j);
            add(w / 2, ((w + x) + r3 - r4) / 2, y, y + thick);
            break;
        }
        default: {
            add(w - ((x + r1 - r2) / 2), w, y, y + thick);
            const int r3 = Random(j), r4 = Random(j);
            add(0, (x + r3 - r4) / 2, y, y + thick);
            break;
        }
        }
    }
}

TRegion RaggedRegion(int x, int y, int w, int h, int hmode, int vmode) {
    TRects rects;
    if (hmode != 0) RaggedPass(rects, x, w, h, hmode, false);
    if (vmode != 0) RaggedPass(rects, y, h, w, vmode, true);
    return TRegion::FromRects(rects);
}

// A straight wipe with blocks scattered up to a tenth of the side ahead of
// its edge: k positions ahead, a block shows with probability min(1, 2/k) in
// the near zone and 1/k beyond it.
void CrumblePass(TRects& out, int x, int w, int h, int mode, bool vertical) {
    auto add = [&](int x0, int x1, int y0, int y1) {
        out.push_back(vertical ? TRect{y0, x0, y1, x1} : TRect{x0, y0, x1, y1});
    };
    const int e = x < w ? w / 10 : 0;
    const int s = std::max(e / 20, 2);
    const int n = e / s, near = ((3 * e) / s) / 4;
    for (int y = 0; y < h; y += s / 2) {
        if (mode == 1)
            add(w - x, w, y, y + s);
        else
            add(0, x, y, y + s);
        for (int k = n; k >= 1; --k) {
            const int r = Random(k);
            if (!(k <= near ? r <= 1 : r == 0)) continue;
            if (mode == 1)
                add(w - x - k * s, w - x - k * s + s, y, y + s);
            else
                add(x + (k - 1) * s, x + k * s, y, y + s);
        }
    }
}

TRegion CrumbleRegion(int x, int y, int w, int h, int hmode, int vmode) {
    TRects rects;
    if (hmode != 0) CrumblePass(rects, x, w, h, hmode, false);
    if (vmode != 0) CrumblePass(rects, y, h, w, vmode, true);
    return TRegion::FromRects(rects);
}

// Squares twice the grid spacing wide at `progress` per cent of the grid
// points; none drawn gives no region.
std::optional<TRegion> SpeckleRegion(int w, int h, int progress) {
    const int s = std::max(std::min(w, h) / 50 + progress / 10, 1);
    TRects rects;
    for (int x = 0; x < w; x += s)
        for (int y = 0; y < h; y += s)
            if (Random(100) < progress) rects.push_back({x - s, y - s, x + s, y + s});
    if (rects.empty()) return std::nullopt;
    return TRegion::FromRects(rects);
}

struct TCombStyle {
    int style;
    bool double_a, double_b;
    bool use_d;
    int hmode, vmode;
};

// A and B are X and Y, doubled for two-pass combs; 0 where a pass is off.
constexpr TCombStyle kCombs[] = {
    {60, true, false, true, 1, 0},   {61, true, false, true, 2, 0},
    {62, true, false, true, 4, 0},   {63, true, false, true, 5, 0},
    {64, false, false, false, 3, 0}, {71, false, true, true, 0, 1},
    {72, false, true, true, 0, 2},   {73, false, true, true, 0, 4},
    {74, false, true, true, 0, 5},   {75, false, false, false, 0, 3},
    {86, true, true, true, 1, 1},    {87, true, true, true, 1, 2},
    {88, true, true, true, 2, 1},    {89, true, true, true, 2, 2},
    {90, true, true, true, 4, 4},    {91, true, true, true, 4, 5},
    {92, true, true, true, 5, 4},    {93, true, true, true, 5, 5},
    {94, false, false, true, 1, 3},  {95, false, false, true, 2, 3},
    {96, false, false, true, 3, 1},  {97, false, false, true, 3, 2},
    {98, false, false, false, 3, 3},
};

struct TModes {
    int style, hmode, vmode;
};

constexpr TModes kRagged[] = {
    {65, 1, 0},  {66, 2, 0},  {67, 3, 0},  {68, 4, 0},  {76, 0, 1},  {77, 0, 2},
    {78, 0, 3},  {79, 0, 4},  {100, 1, 1}, {101, 1, 2}, {102, 2, 1}, {103, 2, 2},
    {104, 1, 3}, {105, 2, 3}, {106, 3, 1}, {107, 3, 2}, {108, 3, 3}, {109, 4, 4},
};

constexpr TModes kCrumble[] = {{123, 1, 0}, {124, 2, 0}, {125, 0, 1}, {126, 0, 2}};

} // namespace

void StripStyleStep(TFrame& f) {
    const int W = f.W, H = f.H, X = f.X, Y = f.Y;
    for (const TCombStyle& c : kCombs)
        if (c.style == f.Style) {
            const int a = c.hmode == 0 ? 0 : c.double_a ? 2 * X : X;
            const int b = c.vmode == 0 ? 0 : c.double_b ? 2 * Y : Y;
            f.Clip = CombRegion(a, b, W, H, c.use_d ? f.D : 0, c.hmode, c.vmode);
            return;
        }
    if (f.Style == 99) {
        TRegion first = CombRegion(2 * X, 2 * Y, W, H, f.D, 1, 1);
        TRegion second = CombRegion(2 * X, 2 * Y, W, H, f.D, 2, 2);
        f.Clip = TRegion::Combine(second, first, TRegion::TOp::Intersect);
        return;
    }
    for (const TModes& m : kRagged)
        if (m.style == f.Style) {
            f.Clip = RaggedRegion(X, Y, W, H, m.hmode, m.vmode);
            return;
        }
    for (const TModes& m : kCrumble)
        if (m.style == f.Style) {
            f.Clip = CrumbleRegion(X, Y, W, H, m.hmode, m.vmode);
            return;
        }
    if (f.Style == 127) f.Clip = SpeckleRegion(W, H, f.Progress);
}

} // namespace tevrin
