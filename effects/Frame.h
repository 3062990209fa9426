// The values one frame computes afresh, shared by the style families.
#pragma once

#include "effects/Effects.h"
#include "gfx/Region.h"

#include <optional>

namespace tevrin {

struct TFrame {
    TEffectHost& Host;
    TBitmap24& Screen;
    const TBitmap24& Picture;
    int Style, Progress, Step;
    int W, H;  // picture size
    int X, Y;  // the progress as a horizontal and a vertical extent
    int D;     // snap distance of the comb styles
    TRect Dest, Source;
    std::optional<TRegion> Clip;  // none until a region style makes one

    TRect Bounds() const { return {0, 0, W, H}; }
    // Copies a piece at once and reports it (the early pieces of the
    // multi-piece styles).
    void EarlyPiece(const TRect& dest, const TRect& source);
};

// Each family's own step: sets Dest and Source, builds Clip, or writes the
// screen's pixels.
void RectangleStyleStep(TFrame& f);
void MultiPieceStyleStep(TFrame& f);
void StripStyleStep(TFrame& f);
void ShapeStyleStep(TFrame& f);
// With `old`, the screen does not hold the old image yet and the step takes
// it from there.
void PixelStyleStep(TFrame& f, const TBitmap24* old = nullptr);

bool IsMultiPieceStyle(int style);
bool IsStripStyle(int style);

} // namespace tevrin
