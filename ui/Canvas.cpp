// SPDX-License-Identifier: MIT
#include "ui/Canvas.h"

#include "gfx/Copy.h"

#include <algorithm>

namespace tevrin {

TCanvas::TCanvas(TBitmap24& target, int origin_x, int origin_y, const TRect& clip,
                 TTextEngine* text)
    : target_(target), ox_(origin_x), oy_(origin_y), clip_(clip), text_(text) {}

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

void TCanvas::PrintText(int x, int y, const TFontSpec& font, const std::string& text) {
    const TRect c{std::max(clip_.Left, 0), std::max(clip_.Top, 0),
                  std::min(clip_.Right, target_.Width()), std::min(clip_.Bottom, target_.Height())};
    if (c.IsEmpty() || text.empty() || text_ == nullptr) return;
    // Drawn in a patch of the clip's size, so nothing outside the clip changes.
    TBitmap24 patch(c.Width(), c.Height());
    StretchCopy(patch, {0, 0, c.Width(), c.Height()}, target_, c);
    text_->Paint(patch, x + ox_ - c.Left, y + oy_ - c.Top, font, text);
    StretchCopy(target_, c, patch, {0, 0, c.Width(), c.Height()});
}

void TCanvas::CopyRect(const TRect& dest, const TBitmap24& bitmap, const TRect& source) {
    StretchCopy(target_, Offset(dest), bitmap, source, &clip_);
}

} // namespace tevrin
