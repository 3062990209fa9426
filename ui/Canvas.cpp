#include "ui/Canvas.h"

#include "gfx/Copy.h"

#include <algorithm>

namespace tevrin {

TCanvas::TCanvas(TBitmap24& target, int origin_x, int origin_y, const TRect& clip)
    : target_(target), ox_(origin_x), oy_(origin_y), clip_(clip) {}

TRect TCanvas::ClipRect() const {
    return {clip_.Left - ox_, clip_.Top - oy_, clip_.Right - ox_, clip_.Bottom - oy_};
}

void TCanvas::FillRect(const TRect& rect, std::uint32_t rgb) {
    TRect r = Offset(rect);
    r = {std::max(r.Left, clip_.Left), std::max(r.Top, clip_.Top), std::min(r.Right, clip_.Right),
         std::min(r.Bottom, clip_.Bottom)};
    if (!r.IsEmpty()) tevrin::FillRect(target_, r, rgb);
}

void TCanvas::Draw(int x, int y, const TBitmap24& bitmap) {
    StretchCopy(target_, x + ox_, y + oy_, bitmap.Width(), bitmap.Height(), bitmap, 0, 0,
                bitmap.Width(), bitmap.Height(), &clip_);
}

void TCanvas::StretchDraw(const TRect& rect, const TBitmap24& bitmap) {
    StretchCopy(target_, Offset(rect), bitmap, {0, 0, bitmap.Width(), bitmap.Height()}, &clip_);
}

void TCanvas::CopyRect(const TRect& dest, const TBitmap24& bitmap, const TRect& source) {
    StretchCopy(target_, Offset(dest), bitmap, source, &clip_);
}

} // namespace tevrin
