// SPDX-License-Identifier: MIT
// Block copies between bitmaps, and rectangle fills. Bitmaps of either pixel
// size mix, converted as they are copied; copies between bitmaps of one size
// are the fast ones.
#pragma once

#include "gfx/Bitmap24.h"
#include "gfx/Rect.h"
#include "gfx/Region.h"

#include <cstddef>
#include <cstdint>

namespace tevrin {

// The whole of `src` onto `dst` at (0, 0), clipped to `dst`.
void CopyBitmap(TBitmap24& dst, const TBitmap24& src);

// Stretching copy of the source rectangle (origin sx, sy; extent sw, sh)
// into the destination rectangle (origin dx, dy; extent dw, dh), nearest
// pixel, as the classic platform's default stretch mode does:
//  - destination pixel i of an extent n takes source pixel (2i + 1) * s / 2n,
//    so equal extents copy pixel for pixel;
//  - a negative destination extent mirrors along that axis, covering the
//    pixels [origin + extent, origin);
//  - the destination is clipped to `dst`; source pixels outside `src` are
//    not drawn; a zero extent draws nothing;
//  - with `clip`, only destination pixels inside it are drawn.
void StretchCopy(TBitmap24& dst, int dx, int dy, int dw, int dh, const TBitmap24& src, int sx,
                 int sy, int sw, int sh, const TRect* clip = nullptr);

// The same with rectangles: extents are right - left and bottom - top, so a
// destination whose right lies left of its left mirrors.
inline void StretchCopy(TBitmap24& dst, const TRect& d, const TBitmap24& src, const TRect& s,
                        const TRect* clip = nullptr) {
    StretchCopy(dst, d.Left, d.Top, d.Width(), d.Height(), src, s.Left, s.Top, s.Width(),
                s.Height(), clip);
}

// The whole of `src` onto `dst` at (0, 0), only where `clip` holds.
void CopyClipped(TBitmap24& dst, const TBitmap24& src, const TRegion& clip);

// Every pixel of `dst` from `inside` where `clip` holds and from `outside`
// elsewhere: CopyBitmap of `outside` followed by CopyClipped of `inside`,
// writing each pixel once. All three bitmaps have the same size.
void CopySelected(TBitmap24& dst, const TBitmap24& inside, const TBitmap24& outside,
                  const TRegion& clip);

// A copy of `src` that owns its pixels, of `pixel_bytes` (3 or 4) a pixel.
TBitmap24 InPixelBytes(const TBitmap24& src, int pixel_bytes);

// A w x h black bitmap with `picture` unscaled at its centre, its top-left
// corner at ((w - width) div 2, (h - height) div 2): a smaller picture gets a
// black border, a larger one is cut alike on each side.
TBitmap24 ComposeCentered(const TBitmap24& picture, int w, int h);

// How an upright picture's pixels lie in its stored bitmap, given its Exif
// orientation (gfx/Exif.h; an unknown one counts as upright): upright pixel
// (x, y) starts at byte Origin + x * StepX + y * StepY of the stored Bits().
struct TUprightView {
    int Width = 0, Height = 0; // upright
    std::ptrdiff_t Origin = 0, StepX = 3, StepY = 0;
};
TUprightView UprightView(const TBitmap24& stored, int orientation);

// The picture as the scene stood, from its stored pixels and orientation.
TBitmap24 TurnUpright(const TBitmap24& stored, int orientation);

// Fills a rectangle (clipped to the bitmap) with a colour given as
// red + 256 * green + 65536 * blue.
void FillRect(TBitmap24& dst, const TRect& rect, std::uint32_t rgb);

// `count` pixels of three bytes (blue, green, red) as four (blue, green,
// red, 255): the 32-bit layout displays take, from a row of ours.
void WidenPixels(const std::uint8_t* bgr, std::uint8_t* bgrx, int count);

} // namespace tevrin
