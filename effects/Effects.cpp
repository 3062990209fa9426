#include "effects/Effects.h"

#include "effects/Frame.h"
#include "gfx/Copy.h"

#include <algorithm>

namespace tevrin {

TStyleClass ClassOfStyle(int style) {
    if (style == 0) return TStyleClass::Custom;
    if (style <= 57) return TStyleClass::Rectangle;
    if (style >= 118 && style <= 122) return TStyleClass::Pixel;
    return TStyleClass::Region;
}

void TFrame::EarlyPiece(const TRect& dest, const TRect& source) {
    StretchCopy(Screen, dest, Picture, source);
    Host.InvalidateArea(dest);
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

void DrawEffectFrame(TEffectHost& host) {
    TBitmap24& screen = host.ScreenBitmap();
    const TBitmap24& picture = host.PictureBitmap();
    CopyBitmap(screen, host.OldBitmap());
    host.BeforeNewFrame();

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
    TFrame f{host,   screen, picture, host.FrameStyle(), progress, host.FrameStep(), w, h, x, y,
             MulDiv(std::max(w, h), host.FrameStep(), 90), {0, 0, w, h}, {0, 0, w, h},
             std::nullopt};
    if (f.Style > kLastStyle) return;

    const TStyleClass kind = ClassOfStyle(f.Style);
    switch (kind) {
    case TStyleClass::Custom: CustomStyleStep(f); break;
    case TStyleClass::Rectangle:
        if (IsMultiPieceStyle(f.Style)) MultiPieceStyleStep(f);
        else RectangleStyleStep(f);
        break;
    case TStyleClass::Region:
        if (IsStripStyle(f.Style)) StripStyleStep(f);
        else ShapeStyleStep(f);
        break;
    case TStyleClass::Pixel: PixelStyleStep(f); break;
    }

    if (f.Progress == 100) {
        CopyBitmap(screen, picture);
    } else if (f.Progress > 0) {
        if (kind == TStyleClass::Rectangle) StretchCopy(screen, f.Dest, picture, f.Source);
        else if (f.Clip) CopyClipped(screen, picture, *f.Clip);
    }
    f.Clip.reset();
    host.InvalidateArea(f.Dest);
    host.AfterNewFrame();
    if (!host.Painting()) host.UpdateNow();
}

} // namespace tevrin
