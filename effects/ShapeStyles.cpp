// SPDX-License-Identifier: MIT
// Styles 58, 59, 69, 70, 80..85 and 110..117: one or a few growing shapes.
// Rounded rectangles give curved wipes, rounded corners and ellipses;
// triangles give diagonal wipes, fans and a 10 x 10 grid.
#include "effects/Frame.h"

#include <cmath>
#include <vector>

namespace tevrin {
namespace {

TRegion Triangle(TPoint a, TPoint b, TPoint c, const TRect& clip) {
    const TPoint points[] = {a, b, c};
    return TRegion::FromPolygon(points, clip);
}

// Union of triangles given as consecutive point triples.
TRegion Triangles(std::initializer_list<TPoint> points, const TRect& clip) {
    std::vector<TRect> rects;
    for (auto p = points.begin(); points.end() - p >= 3; p += 3)
        Triangle(p[0], p[1], p[2], clip).ForEachRect([&](const TRect& r) { rects.push_back(r); });
    return TRegion::FromRects(rects);
}

TRegion Rounded(TRect rect, int ew, int eh, const TRect& clip) {
    return TRegion::FromRoundRect(rect, ew, eh, clip);
}

// Style 117: a triangle growing from the top-left corner of each cell of a
// 10 x 10 grid, each reaching about two cells at the end. The triangles'
// rows are gathered directly, row by row, with the arithmetic of the
// polygon fill, since a hundred polygon regions cost more than the frame.
TRegion TriangleGrid(int W, int H, int X, const TRect& clip) {
    const int tw = X / 5, th = MulDiv(tw, H, W);
    TRegionBuilder rows;
    if (tw <= 0 || th <= 0) return {};
    std::vector<std::pair<int, int>> spans;
    for (int y = std::max(clip.Top, 0); y < std::min(clip.Bottom, H + th); ++y) {
        const double py = y + 0.5;
        spans.clear();
        for (int i = 0; i < 10; ++i) {
            const int cy = (i * H) / 10;
            if (py < cy || py >= cy + th) continue;
            for (int j = 0; j < 10; ++j) {
                const int cx = (j * W) / 10;
                // The edge from (cx + tw, cy) to (cx, cy + th), as the fill computes it.
                const double edge = (cx + tw) + (py - cy) * (cx - (cx + tw)) / static_cast<double>(th);
                const int left = std::max(static_cast<int>(std::ceil(cx - 0.5)), clip.Left);
                const int right = std::min(static_cast<int>(std::ceil(edge - 0.5)), clip.Right);
                if (left < right) spans.emplace_back(left, right);
            }
        }
        rows.AddRow(y, spans);
    }
    return rows.Finish();
}

} // namespace

void ShapeStyleStep(TFrame& f) {
    const int W = f.W, H = f.H, X = f.X, Y = f.Y;
    const TRect clip = f.Bounds();
    switch (f.Style) {
    case 58: f.Clip = Rounded({-2 * W, -5, 2 * X, H + 5}, 2 * W, 2 * W, clip); break;
    case 59: f.Clip = Rounded({W - 2 * X, -5, 3 * W, H + 5}, 2 * W, 2 * W, clip); break;
    case 69: f.Clip = Rounded({-5, -2 * H, W + 5, 2 * Y}, 2 * H, 2 * H, clip); break;
    case 70: f.Clip = Rounded({-5, H - 2 * Y, W + 5, 3 * H}, 2 * H, 2 * H, clip); break;
    case 80: f.Clip = Rounded({-2 * W, -2 * H, 2 * X, 2 * Y}, 2 * W, 2 * H, clip); break;
    case 81: f.Clip = Rounded({W - 2 * X, -2 * H, 3 * W, 2 * Y}, 2 * W, 2 * H, clip); break;
    case 82: f.Clip = Rounded({-2 * W, H - 2 * Y, 2 * X, 3 * H}, 2 * W, 2 * H, clip); break;
    // Style 83 rounds its corner with a 2H by 2H ellipse, unlike 80..82.
    case 83: f.Clip = Rounded({W - 2 * X, H - 2 * Y, 3 * W, 3 * H}, 2 * H, 2 * H, clip); break;
    case 84:
        f.Clip = Rounded({W / 2 - X, H / 2 - Y, W / 2 + X, H / 2 + Y}, (9 * X) / 5, (9 * Y) / 5, clip);
        break;
    case 85: {
        TRegion hole = Rounded({X - W / 2, Y - H / 2, (3 * W) / 2 - X, (3 * H) / 2 - Y},
                               (9 * (W - X)) / 5, (9 * (H - Y)) / 5, clip);
        f.Clip = TRegion::Combine(hole, TRegion::FromRect(clip), TRegion::TOp::Xor);
        break;
    }
    case 110: f.Clip = Triangle({0, 0}, {2 * X, 0}, {0, 2 * Y}, clip); break;
    case 111: f.Clip = Triangle({W, 0}, {W - 2 * X, 0}, {W, 2 * Y}, clip); break;
    case 112: f.Clip = Triangle({0, H}, {2 * X, H}, {0, H - 2 * Y}, clip); break;
    case 113: f.Clip = Triangle({W, H}, {W - 2 * X, H}, {W, H - 2 * Y}, clip); break;
    case 114:
        f.Clip = Triangles({{W, H}, {W, 0}, {W - X, 0}, {0, H}, {0, 0}, {X, H}}, clip);
        break;
    case 115:
        f.Clip = Triangles({{W, H}, {0, H}, {0, H - Y}, {W, 0}, {0, 0}, {W, Y}}, clip);
        break;
    case 116: {
        const TPoint c{W / 2, H / 2};
        f.Clip = Triangles({c, {0, H}, {0, H - Y}, {0, 0}, {X, 0}, c, {W - X, H}, c, {W, H}, c,
                            {W, 0}, {W, Y}},
                           clip);
        break;
    }
    case 117: f.Clip = TriangleGrid(W, H, X, clip); break;
    default: break;
    }
}

} // namespace tevrin
