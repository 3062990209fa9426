// SPDX-License-Identifier: MIT
// The pixel routines of styles 118..122, exact to their integer formulas.
// Their bitmaps have one pixel size, 3 or 4 bytes (whose fourth byte is
// blended or moved along with the colours).
#pragma once

#include "gfx/Bitmap24.h"

namespace tevrin {

// Every byte: ((100 - p) * screen) / 100 + (p * picture) / 100, each term
// truncated on its own. With `old`, its bytes stand for the screen's (the
// screen then need not hold the old image first).
void BlendBitmaps(TBitmap24& screen, const TBitmap24& picture, int p,
                  const TBitmap24* old = nullptr);

// Every screen pixel (x, y) takes the picture pixel
//   (round(dx cos a - dy sin a) + px, round(dx sin a + dy cos a) + py),
// dx = x - px, dy = y - py, rounded half to even, when that lies inside the
// picture; otherwise it keeps what it holds, or with `old` takes the old
// image's pixel.
// The pixels move with the widest instructions the processor has; tests ask
// for the plain path too, which other processors take.
enum class TPixelPath { Widest, Plain };
void RotateBitmap(TBitmap24& screen, const TBitmap24& picture, int px, double angle, int py,
                  const TBitmap24* old = nullptr, TPixelPath path = TPixelPath::Widest);

} // namespace tevrin
