// SPDX-License-Identifier: MIT
// Styles 12..17, 29..34 and 54..57: rectangle styles showing the picture in
// two to four pieces. Every piece but the last is copied (and reported) at
// once, whatever the progress; the last goes to Dest and Source for the
// frame's common copy.
#include "effects/Frame.h"
#include "gfx/Copy.h"

#include <algorithm>

namespace tevrin {
namespace {

// A stretching copy that can mirror along either axis, within the
// destination rectangle itself. The source is clipped to the picture first,
// so a fold near the end of its wipe stretches what remains.
void MirrorCopy(TBitmap24& screen, const TRect& dest, const TBitmap24& picture, TRect source,
                bool mirror_x, bool mirror_y) {
    source.Left = std::max(source.Left, 0);
    source.Top = std::max(source.Top, 0);
    source.Right = std::min(source.Right, picture.Width());
    source.Bottom = std::min(source.Bottom, picture.Height());
    StretchCopy(screen, mirror_x ? dest.Right : dest.Left, mirror_y ? dest.Bottom : dest.Top,
                mirror_x ? -dest.Width() : dest.Width(), mirror_y ? -dest.Height() : dest.Height(),
                picture, source.Left, source.Top, source.Width(), source.Height());
}

// The fold's width along a side of length `side` at extent `extent`: it
// grows with the wipe, keeps a tenth of the side, then shrinks to nothing.
int FoldWidth(int extent, int side) {
    if (extent < side / 5) return extent / 2;
    if (extent + side / 5 <= side) return side / 10;
    return (side - extent) / 2;
}

} // namespace

void TFrame::AddPiece(const TPiece& piece) {
    if (Deferred != nullptr)
        Deferred->push_back(piece);
    else
        DrawPiece(piece);
}

void TFrame::DrawPiece(const TPiece& piece) {
    if (piece.Fold)
        MirrorCopy(Screen, piece.Dest, Picture, piece.Source, piece.MirrorX, piece.MirrorY);
    else
        StretchCopy(Screen, piece.Dest, Picture, piece.Source);
    // A host keeping the frame's change is told it at the end.
    if (!Host.KeptChange()) Host.InvalidateArea(piece.Dest);
}

void MultiPieceStyleStep(TFrame& f) {
    const int W = f.W, H = f.H, X = f.X, Y = f.Y;
    const int hx = X / 2, hy = Y / 2, hw = W / 2, hh = H / 2;
    auto last = [&](TRect dest, TRect source) {
        f.Dest = dest;
        f.Source = source;
    };
    auto same = [&](TRect rect) { f.AddPiece({rect, rect}); };
    switch (f.Style) {
    case 12:
        same({0, 0, hx + 1, H});
        last({W - hx - 1, 0, W, H}, {W - hx - 1, 0, W, H});
        break;
    case 13:
        f.AddPiece({{0, 0, hx + 1, H}, {0, 0, hw + 1, H}});
        last({W - hx - 1, 0, W, H}, {hw, 0, W, H});
        break;
    case 14:
    case 15: {
        const int F = FoldWidth(X, W);
        if (f.Style == 14) {
            TRect fold{X, 0, X + F, H};
            f.AddPiece(
                {.Dest = fold, .Source = {X + F, 0, X + 2 * F, H}, .Fold = true, .MirrorX = true});
            last({0, 0, X, H}, {0, 0, X, H});
        } else {
            TRect fold{W - X - F, 0, W - X, H};
            f.AddPiece({.Dest = fold,
                        .Source = {W - X - 2 * F, 0, W - X - F, H},
                        .Fold = true,
                        .MirrorX = true});
            last({W - X, 0, W, H}, {W - X, 0, W, H});
        }
        break;
    }
    case 16:
        same({0, 0, X, H});
        last({X, 0, W, H}, {X, 0, X + W / 20, H});
        break;
    case 17:
        same({W - X, 0, W, H});
        last({0, 0, W - X, H}, {W - X - W / 20, 0, W - X, H});
        break;
    case 29:
        same({0, 0, W, hy + 1});
        last({0, H - hy - 1, W, H}, {0, H - hy - 1, W, H});
        break;
    case 30:
        f.AddPiece({{0, 0, W, hy + 1}, {0, 0, W, hh + 1}});
        last({0, H - hy - 1, W, H}, {0, hh, W, H});
        break;
    case 31:
    case 32: {
        const int F = FoldWidth(Y, H);
        if (f.Style == 31) {
            TRect fold{0, Y, W, Y + F};
            f.AddPiece(
                {.Dest = fold, .Source = {0, Y + F, W, Y + 2 * F}, .Fold = true, .MirrorY = true});
            last({0, 0, W, Y}, {0, 0, W, Y});
        } else {
            TRect fold{0, H - Y - F, W, H - Y};
            f.AddPiece({.Dest = fold,
                        .Source = {0, H - Y - 2 * F, W, H - Y - F},
                        .Fold = true,
                        .MirrorY = true});
            last({0, H - Y, W, H}, {0, H - Y, W, H});
        }
        break;
    }
    case 33:
        same({0, 0, W, Y});
        last({0, Y, W, H}, {0, Y, W, Y + H / 20});
        break;
    case 34:
        same({0, H - Y, W, H});
        last({0, 0, W, H - Y}, {0, H - Y - H / 20, W, H - Y});
        break;
    case 54:
        same({0, 0, W, hy});
        same({0, H - hy, W, H});
        same({0, 0, hx, H});
        last({W - hx, 0, W, H}, {W - hx, 0, W, H});
        break;
    case 55:
        same({0, 0, hx + 1, hy + 1});
        same({0, H - hy - 1, hx + 1, H});
        same({W - hx - 1, H - hy - 1, W, H});
        last({W - hx - 1, 0, W, hy + 1}, {W - hx - 1, 0, W, hy + 1});
        break;
    case 56:
        f.AddPiece({{0, 0, hx + 1, hy + 1}, {0, 0, hw + 1, hh + 1}});
        f.AddPiece({{0, H - hy, hx + 1, H}, {0, hh + 1, hw + 1, H}});
        f.AddPiece({{W - hx, H - hy, W, H}, {hw + 1, hh + 1, W, H}});
        last({W - hx, 0, W, hy + 1}, {hw + 1, 0, W, hh + 1});
        break;
    case 57:
        f.AddPiece({{(X - W) / 2, 0, hx + 1, hh + 1}, {0, 0, hw + 1, hh + 1}});
        f.AddPiece({{hw - 1, (Y - H) / 2, W, hy + 1}, {hw - 1, 0, W, hh + 1}});
        f.AddPiece({{W - hx, hh - 1, W + (W - X) / 2, H}, {hw + 1, hh - 1, W, H}});
        last({0, H - hy, hw + 1, H + (H - Y) / 2}, {0, hh + 1, hw + 1, H});
        break;
    default:
        break;
    }
}

} // namespace tevrin
