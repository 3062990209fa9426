// SPDX-License-Identifier: MIT
// Filtered scaling of photographs, for composing a picture at another size
// than its own. (The transitions' stretching copies keep to nearest pixels:
// gfx/Copy.h.)
#pragma once

#include "gfx/Bitmap24.h"

namespace tevrin {

// Both kernels are widened over the source pixels an output pixel covers
// when shrinking, so fine detail averages out instead of aliasing.
enum class TResampleFilter {
    // Windowed sinc with two lobes: sharp, little ringing, twice the taps of
    // the triangle; for pictures.
    Lanczos2,
    // Linear interpolation: cheap and soft; for backdrops.
    Triangle,
};

// Draws `src`, turned upright by its Exif `orientation`, scaled to
// full_w x full_h with its top-left corner at (at_x, at_y) of `dst`, clipped
// to `dst`: only the pixels of `dst` that the scaled picture covers change,
// and a picture larger than `dst` is scaled only where it shows. Edges repeat
// their outermost pixels. Equal sizes copy pixel for pixel. `dst` has 3- or
// 4-byte pixels, `src` 3-byte ones.
void DrawScaled(TBitmap24& dst, int at_x, int at_y, int full_w, int full_h, const TBitmap24& src,
                int orientation = 1, TResampleFilter filter = TResampleFilter::Lanczos2);

// Fills the whole of `dst` with `src` (turned upright) scaled to cover it,
// the overflow cut evenly, strongly blurred and darkened: a backdrop for the
// borders that a picture of another shape leaves.
void DrawBackdrop(TBitmap24& dst, const TBitmap24& src, int orientation = 1);

} // namespace tevrin
