// SPDX-License-Identifier: MIT
#include "show/Slide.h"

#include "gfx/Copy.h"
#include "gfx/Rect.h"

#include <algorithm>
#include <vector>

namespace tevrin {
namespace {

// How much of what lies under the outline it darkens, of 255.
constexpr int kOutlineStrength = 200;

// Coverage of `text` in `font`, grown by `radius` pixels on every side: a
// mask of (extent + 2 radius) with the text at (radius, radius).
std::vector<std::uint8_t> OutlineMask(TTextEngine& engine, const TFontSpec& font,
                                      const std::string& text, TTextExtent extent, int radius,
                                      int& w, int& h) {
    w = extent.Width + 2 * radius;
    h = extent.Height + 2 * radius;
    TBitmap24 scratch(w, h);
    TFontSpec white = font;
    white.Color = 0xFFFFFF;
    engine.Paint(scratch, radius, radius, white, text);
    // The largest coverage within `radius`, across then down.
    std::vector<std::uint8_t> across(static_cast<std::size_t>(w) * h), mask(across.size());
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* row = scratch.Row(y);
        for (int x = 0; x < w; ++x) {
            std::uint8_t most = 0;
            for (int k = std::max(0, x - radius); k <= std::min(w - 1, x + radius); ++k)
                most = std::max(most, row[k * 3]);
            across[static_cast<std::size_t>(y) * w + x] = most;
        }
    }
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            std::uint8_t most = 0;
            for (int k = std::max(0, y - radius); k <= std::min(h - 1, y + radius); ++k)
                most = std::max(most, across[static_cast<std::size_t>(k) * w + x]);
            mask[static_cast<std::size_t>(y) * w + x] = most;
        }
    return mask;
}

// Darkens the canvas under the text's outline, the text's top-left corner
// at (x, y).
void DrawOutline(TBitmap24& canvas, int x, int y, TTextEngine& engine, const TFontSpec& font,
                 const std::string& text, TTextExtent extent, int radius) {
    int w = 0, h = 0;
    const std::vector<std::uint8_t> mask = OutlineMask(engine, font, text, extent, radius, w, h);
    for (int my = 0; my < h; ++my) {
        const int cy = y - radius + my;
        if (cy < 0 || cy >= canvas.Height()) continue;
        std::uint8_t* row = canvas.Row(cy);
        for (int mx = 0; mx < w; ++mx) {
            const int cx = x - radius + mx;
            const int m = mask[static_cast<std::size_t>(my) * w + mx];
            if (m == 0 || cx < 0 || cx >= canvas.Width()) continue;
            const int keep = 255 - m * kOutlineStrength / 255;
            for (int c = 0; c < 3; ++c)
                row[cx * 3 + c] = static_cast<std::uint8_t>(row[cx * 3 + c] * keep / 255);
        }
    }
}

} // namespace

std::string SlideCaption(const TShowChoices& choices, const std::optional<std::string>& own,
                         bool alternate) {
    if (own) return *own;
    return alternate ? choices.Text : std::string();
}

TCaptionPlace PlaceCaption(int w, int h, const std::string& text, const TCaptionLook& look,
                           int pixels_per_inch, TTextEngine& engine) {
    TCaptionPlace place;
    place.Font = {look.Face, -MulDiv(look.Points, pixels_per_inch, 72), look.Rgb};
    if (text.empty() || w <= 0 || h <= 0) return place;
    TTextExtent extent = engine.Measure(place.Font, text);
    if (!look.Inside) {
        // The design's caption: its bottom on the screen's bottom edge,
        // running off both sides when it is wider than the screen.
        place.X = w / 2 - extent.Width / 2;
        place.Y = h - extent.Height;
        place.Extent = extent;
        return place;
    }
    // Clear of the edges by half the letters' height; a caption too large
    // for the screen is drawn smaller until it fits.
    TFontSpec& font = place.Font;
    auto margin = [&] { return std::max(2, -font.Height / 2); };
    for (int attempt = 0; attempt < 8 && font.Height < -4; ++attempt) {
        const int room_w = w - 2 * margin(), room_h = h - 2 * margin();
        if (extent.Width <= room_w && extent.Height <= room_h) break;
        const double shrink =
            std::min(room_w > 0 ? double(room_w) / std::max(1, extent.Width) : 0.5,
                     room_h > 0 ? double(room_h) / std::max(1, extent.Height) : 0.5);
        font.Height = std::min(-4, static_cast<int>(font.Height * std::min(0.95, shrink)));
        extent = engine.Measure(font, text);
    }
    place.X = w / 2 - extent.Width / 2;
    place.Y = h - extent.Height - margin();
    place.Extent = extent;
    if (look.Shadow) place.Outline = std::max(1, -font.Height / 12);
    return place;
}

void PaintCaption(TBitmap24& canvas, int dx, int dy, const TCaptionPlace& place,
                  const std::string& text, TTextEngine& engine) {
    if (text.empty()) return;
    if (place.Outline > 0)
        DrawOutline(canvas, place.X + dx, place.Y + dy, engine, place.Font, text, place.Extent,
                    place.Outline);
    engine.Paint(canvas, place.X + dx, place.Y + dy, place.Font, text);
}

TRect CaptionReach(const TCaptionPlace& place, int w, int h) {
    const int reach = place.Outline + place.Extent.Height / 2 + 2;
    return Intersection({place.X - reach, place.Y - reach, place.X + place.Extent.Width + reach,
                         place.Y + place.Extent.Height + reach},
                        {0, 0, w, h});
}

void DrawCaption(TBitmap24& canvas, const std::string& text, const TCaptionLook& look,
                 int pixels_per_inch, TTextEngine& engine) {
    if (text.empty() || canvas.Empty()) return;
    const TCaptionPlace place =
        PlaceCaption(canvas.Width(), canvas.Height(), text, look, pixels_per_inch, engine);
    if (canvas.PixelBytes() == 3) return PaintCaption(canvas, 0, 0, place, text, engine);
    // Text is painted in 3-byte pixels: over a copy of what it can reach.
    const TRect box = CaptionReach(place, canvas.Width(), canvas.Height());
    if (box.IsEmpty()) return;
    TBitmap24 under(box.Width(), box.Height(), TBitmap24::kUndefined);
    const TRect all{0, 0, box.Width(), box.Height()};
    StretchCopy(under, all, canvas, box);
    PaintCaption(under, -box.Left, -box.Top, place, text, engine);
    StretchCopy(canvas, box, under, all);
}

TBitmap24 ComposeSlide(const TShowPicture& picture, const TShowChoices& choices,
                       const TScreenSpec& screen) {
    return ComposePicture(picture, screen.Width, screen.Height, choices.Fit, choices.BlurBorders,
                          screen.Palette8);
}

TBitmap24 MakeSlide(const TShowPicture& picture, const std::string& caption,
                    const TShowChoices& choices, const TScreenSpec& screen, TTextEngine& engine,
                    TBitmap24 canvas) {
    TBitmap24 slide = canvas.Empty() ? ComposeSlide(picture, choices, screen)
                                     : ComposePicture(picture, std::move(canvas), choices.Fit,
                                                      choices.BlurBorders, screen.Palette8);
    DrawCaption(slide, caption, choices.Caption, screen.PixelsPerInch, engine);
    return slide;
}

} // namespace tevrin
