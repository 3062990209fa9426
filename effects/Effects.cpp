// SPDX-License-Identifier: MIT
#include "effects/Effects.h"

#include "effects/Frame.h"
#include "effects/Styles.h"
#include "gfx/Copy.h"

#include <algorithm>

namespace tevrin {

TStyleClass ClassOfStyle(int style) {
    return ClassOf(StyleTable()[static_cast<std::size_t>(style)].Family);
}

namespace {

// Style 0: the handler draws the frame; without one the picture shows at
// once and the transition is complete after this frame.
void CustomStyleStep(TFrame& f) {
    if (f.Host.CustomDraw()) return;
    // The composition step draws the whole picture at 100.
    f.Clip = TRegion::FromRect(f.Bounds());
    f.Host.SetProgressField(100);
    f.Progress = 100;
}

} // namespace

namespace {

TFrame ComputeFrame(TEffectHost& host) {
    const TBitmap24& picture = host.PictureBitmap();
    const int w = picture.Width(), h = picture.Height();
    const int progress = host.FrameProgress();
    int x, y;
    if (w >= h) {
        x = MulDiv(w, progress, 100);
        y = MulDiv(x, h, w);
    } else {
        y = MulDiv(h, progress, 100);
        x = MulDiv(y, w, h);
    }
    return TFrame{host,
                  host.ScreenBitmap(),
                  picture,
                  host.FrameStyle(),
                  progress,
                  host.FrameStep(),
                  w,
                  h,
                  x,
                  y,
                  MulDiv(std::max(w, h), host.FrameStep(), 90),
                  {0, 0, w, h},
                  {0, 0, w, h},
                  std::nullopt};
}

TRect Overlap(const TRect& a, const TRect& b) {
    return {std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right),
            std::min(a.Bottom, b.Bottom)};
}

// The old image onto the screen, except where `covered` (rectangles within
// the frame) is about to be drawn over.
void CopyOldOutside(TFrame& f, const TBitmap24& old, const std::vector<TRect>& covered) {
    if (covered.empty()) {
        CopyBitmap(f.Screen, old);
    } else if (covered.size() > 1 || covered.front() != f.Bounds()) {
        CopyClipped(f.Screen, old,
                    TRegion::Combine(TRegion::FromRect(f.Bounds()), TRegion::FromRects(covered),
                                     TRegion::TOp::Xor));
    }
}

// The style's own step: its family's rule.
void StyleStep(TFrame& f) {
    switch (StyleTable()[f.Style].Family) {
    case TStyleFamily::Custom:
        CustomStyleStep(f);
        break;
    case TStyleFamily::Rectangle:
        RectangleStyleStep(f);
        break;
    case TStyleFamily::MultiPiece:
        MultiPieceStyleStep(f);
        break;
    case TStyleFamily::Strip:
        StripStyleStep(f);
        break;
    case TStyleFamily::Shape:
        ShapeStyleStep(f);
        break;
    case TStyleFamily::Pixel:
        PixelStyleStep(f);
        break;
    }
}

// The end of every frame: the changed area reported, then the after-frame
// handler, then a repaint unless the control is painting already. `change`
// is where the frame differs from the old image, none when not known. A
// host keeping the change of the frame before is told where the two frames
// differ, any other the frame's Dest.
void FinishFrame(TEffectHost& host, const TFrame& f, std::optional<TFrameChange> change) {
    if (TFrameChange* before = host.KeptChange()) {
        using enum TRegion::TOp;
        if (!change || host.HasAfterNewFrame())
            change = TFrameChange{{}, TRegion::FromRect(f.Bounds())};
        const TRegion moved = TRegion::Combine(before->Moved, change->Moved, Union);
        const TRegion differs =
            TRegion::Combine(TRegion::Combine(before->InPlace, change->InPlace, Xor), moved, Union);
        // A frame like the one before still reaches the display, whole (it
        // is rare), so that frames keep their pace there.
        if (differs.IsEmpty())
            host.InvalidateArea(f.Bounds());
        else
            host.InvalidateRegion(differs);
        *before = std::move(*change);
    } else {
        host.InvalidateArea(f.Dest);
    }
    host.AfterNewFrame();
    if (!host.Painting()) host.UpdateNow();
}

TFrameChange WholePicture(const TFrame& f) {
    return {TRegion::FromRect(f.Bounds()), {}};
}

// The pixels of the frame a copy into `dest` (mirrored when inverted) can
// write.
TRect Reach(const TFrame& f, const TRect& dest) {
    return Intersection({std::min(dest.Left, dest.Right), std::min(dest.Top, dest.Bottom),
                         std::max(dest.Left, dest.Right), std::max(dest.Top, dest.Bottom)},
                        f.Bounds());
}

// The screen pixels a piece is sure to draw: its destination within the
// frame, when every destination pixel has a source pixel in the picture.
std::optional<TRect> CoveredArea(const TFrame& f, const TPiece& piece) {
    TRect source = piece.Source;
    if (piece.Fold) source = Overlap(source, f.Bounds()); // a fold clips its source
    const TRect& d = piece.Dest;
    const bool whole_source = source.Left >= 0 && source.Top >= 0 && source.Right <= f.W &&
                              source.Bottom <= f.H && source.Left < source.Right &&
                              source.Top < source.Bottom;
    if (!whole_source || d.Left >= d.Right || d.Top >= d.Bottom) return std::nullopt;
    const TRect area = Overlap(d, f.Bounds());
    if (area.IsEmpty()) return std::nullopt;
    return area;
}

// Without a handler between the old image and the style's step, nobody can
// see in what order the screen gets its pixels, and a frame need not copy
// the old image where the picture is about to cover it. These draw the same
// frames as the steps in order.

// A rectangle style's step only computes rectangles, and the pieces of a
// multi-piece style only read the picture: they are gathered first, the old
// image is copied only where none of them will draw, and they are then
// drawn and reported in their order.
void DrawRectangleFrame(TEffectHost& host) {
    TFrame f = ComputeFrame(host);
    std::vector<TPiece> pieces;
    f.Deferred = &pieces;
    StyleStep(f);
    f.Deferred = nullptr;
    TFrameChange change = WholePicture(f);
    if (f.Progress == 100) {
        if (!host.KeptChange())
            for (const TPiece& piece : pieces)
                host.InvalidateArea(piece.Dest);
        CopyBitmap(f.Screen, f.Picture);
    } else {
        // A piece copying a part of the picture to its own place leaves
        // those pixels alike from frame to frame.
        std::vector<TRect> covered, in_place, moved;
        auto note = [&](const TPiece& piece) {
            const std::optional<TRect> area = CoveredArea(f, piece);
            if (area) covered.push_back(*area);
            if (area && !piece.Fold && piece.Dest == piece.Source)
                in_place.push_back(*area);
            else
                moved.push_back(Reach(f, piece.Dest));
        };
        for (const TPiece& piece : pieces)
            note(piece);
        if (f.Progress > 0) note({f.Dest, f.Source});
        CopyOldOutside(f, host.OldBitmap(), covered);
        for (const TPiece& piece : pieces)
            f.DrawPiece(piece);
        if (f.Progress > 0) StretchCopy(f.Screen, f.Dest, f.Picture, f.Source);
        if (host.KeptChange()) change = {TRegion::FromRects(in_place), TRegion::FromRects(moved)};
    }
    FinishFrame(host, f, std::move(change));
}

// The pixel styles read the old image where it lies.
void DrawPixelFrame(TEffectHost& host) {
    TFrame f = ComputeFrame(host);
    TFrameChange change = WholePicture(f);
    if (f.Progress == 100) {
        CopyBitmap(f.Screen, f.Picture);
    } else {
        PixelStyleStep(f, &host.OldBitmap());
        // At 0 every pixel style leaves the old image as it is.
        change = {{}, f.Progress == 0 ? TRegion() : TRegion::FromRect(f.Bounds())};
    }
    FinishFrame(host, f, std::move(change));
}

// A region style's step only builds its region: the old image and the
// picture are drawn in one pass, each pixel once.
void DrawRegionFrame(TEffectHost& host) {
    TFrame f = ComputeFrame(host);
    StyleStep(f);
    TFrameChange change = WholePicture(f);
    if (f.Progress == 100) {
        CopyBitmap(f.Screen, f.Picture);
    } else if (f.Progress > 0 && f.Clip) {
        CopySelected(f.Screen, f.Picture, host.OldBitmap(), *f.Clip);
        if (host.KeptChange())
            change.InPlace = TRegion::Combine(change.InPlace, *f.Clip, TRegion::TOp::Intersect);
    } else {
        CopyBitmap(f.Screen, host.OldBitmap());
        change = {};
    }
    FinishFrame(host, f, std::move(change));
}

} // namespace

void DrawEffectFrame(TEffectHost& host) {
    if (!host.HasBeforeNewFrame() && host.FrameStyle() <= kLastStyle) {
        switch (ClassOfStyle(host.FrameStyle())) {
        case TStyleClass::Rectangle:
            DrawRectangleFrame(host);
            return;
        case TStyleClass::Pixel:
            DrawPixelFrame(host);
            return;
        case TStyleClass::Region:
            DrawRegionFrame(host);
            return;
        case TStyleClass::Custom:
            break; // the handler draws on the old image
        }
    }

    TBitmap24& screen = host.ScreenBitmap();
    const TBitmap24& picture = host.PictureBitmap();
    CopyBitmap(screen, host.OldBitmap());
    host.BeforeNewFrame();
    TFrame f = ComputeFrame(host);
    if (f.Style > kLastStyle) return;

    const TStyleClass kind = ClassOfStyle(f.Style);
    StyleStep(f);

    if (f.Progress == 100) {
        CopyBitmap(screen, picture);
    } else if (f.Progress > 0) {
        if (kind == TStyleClass::Rectangle)
            StretchCopy(screen, f.Dest, picture, f.Source);
        else if (f.Clip)
            CopyClipped(screen, picture, *f.Clip);
    }
    f.Clip.reset();
    // A handler may have drawn anywhere.
    FinishFrame(host, f, std::nullopt);
}

} // namespace tevrin
