// SPDX-License-Identifier: MIT
// Drawing onto a part of a bitmap: a control paints through a canvas whose
// origin is its own top-left corner and whose clip is the area being
// repainted.
#pragma once

#include "gfx/Bitmap24.h"
#include "gfx/Rect.h"
#include "gfx/Text.h"

#include <cstdint>

namespace tevrin {

class TCanvas {
public:
    // `origin` and `clip` in the target's coordinates.
    // Text is drawn with `text`; without one PrintText draws nothing.
    TCanvas(TBitmap24& target, int origin_x, int origin_y, const TRect& clip,
            TTextEngine* text = nullptr);

    // All rectangles and points below are in the canvas's own coordinates.
    void FillRect(const TRect& rect, std::uint32_t rgb);
    void Draw(int x, int y, const TBitmap24& bitmap);
    void StretchDraw(const TRect& rect, const TBitmap24& bitmap);
    // One line of text, its top-left corner at (x, y), transparent.
    void PrintText(int x, int y, const TFontSpec& font, const std::string& text);
    // Stretching copy of `source` of `bitmap` into `dest`.
    void CopyRect(const TRect& dest, const TBitmap24& bitmap, const TRect& source);

    TBitmap24& Target() { return target_; }
    // The clip in canvas coordinates.
    TRect ClipRect() const;

private:
    TRect Offset(const TRect& r) const {
        return {r.Left + ox_, r.Top + oy_, r.Right + ox_, r.Bottom + oy_};
    }

    TBitmap24& target_;
    int ox_, oy_;
    TRect clip_;
    TTextEngine* text_;
};

} // namespace tevrin
