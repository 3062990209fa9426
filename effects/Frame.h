// SPDX-License-Identifier: MIT
// The values one frame computes afresh, shared by the style families.
#pragma once

#include "effects/Effects.h"
#include "gfx/Region.h"

#include <optional>
#include <vector>

namespace tevrin {

// A piece of the picture a multi-piece style shows before the frame's common
// copy: Dest from Source, or a fold that mirrors Source into Dest.
struct TPiece {
    TRect Dest, Source;
    bool Fold = false, MirrorX = false, MirrorY = false;
};

struct TFrame {
    TEffectHost& Host;
    TBitmap24& Screen;
    const TBitmap24& Picture;
    int Style, Progress, Step;
    int W, H; // picture size
    int X, Y; // the progress as a horizontal and a vertical extent
    int D;    // snap distance of the comb styles
    TRect Dest, Source;
    std::optional<TRegion> Clip; // none until a region style makes one

    // With a list, pieces are kept there to be drawn later instead of at
    // once, so that the frame can see first what they will cover.
    std::vector<TPiece>* Deferred = nullptr;

    TRect Bounds() const { return {0, 0, W, H}; }
    // Copies a piece and reports it (the early pieces of the multi-piece
    // styles), or defers it.
    void AddPiece(const TPiece& piece);
    void DrawPiece(const TPiece& piece);
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

} // namespace tevrin
