// SPDX-License-Identifier: MIT
// A slide: one picture of a show made for one screen, placed as the fit
// mode says, decoded no larger than it is shown, composed, and captioned.
#pragma once

#include "gfx/Compose.h"
#include "gfx/Text.h"
#include "show/Choices.h"

#include <optional>
#include <string>

namespace tevrin {

struct TScreenSpec {
    int Width = 0, Height = 0;
    int PixelsPerInch = kDefaultPixelsPerInch;
    // A display of 8 bits per pixel or fewer: JPEGs are decoded through a
    // 256-colour palette.
    bool Palette8 = false;
};

// The caption a picture carries: its own (TShowContent::Caption), or
// without one the show's one caption when `alternate`
// (TSlideOrder::NextCaption) says this picture has it.
std::string SlideCaption(const TShowChoices& choices, const std::optional<std::string>& own,
                         bool alternate);

// Where a caption goes on a w x h screen: its font (made smaller where it
// would not fit), its top-left corner, its extent, and the radius of its
// outline (0 for none).
struct TCaptionPlace {
    TFontSpec Font;
    int X = 0, Y = 0;
    TTextExtent Extent;
    int Outline = 0;
};
TCaptionPlace PlaceCaption(int w, int h, const std::string& text, const TCaptionLook& look,
                           int pixels_per_inch, TTextEngine& engine);
// What a placed caption's letters and outline can reach on a w x h screen,
// glyphs that stand out of their extent included.
TRect CaptionReach(const TCaptionPlace& place, int w, int h);
// Paints a placed caption with the screen's origin at (dx, dy) of `canvas`.
void PaintCaption(TBitmap24& canvas, int dx, int dy, const TCaptionPlace& place,
                  const std::string& text, TTextEngine& engine);

// Draws `text` centred at the bottom of `canvas` (3- or 4-byte pixels) as
// `look` says, at its point size on a screen of `pixels_per_inch`. Nothing
// for an empty text.
void DrawCaption(TBitmap24& canvas, const std::string& text, const TCaptionLook& look,
                 int pixels_per_inch, TTextEngine& engine);

// The slide's picture part for `screen`, without its caption: it needs no
// text engine, so it may be made on any thread.
TBitmap24 ComposeSlide(const TShowPicture& picture, const TShowChoices& choices,
                       const TScreenSpec& screen);

// The slide of `picture` with `caption` for `screen`: a new bitmap, or
// `canvas` when one is given (the screen's size, in 3- or 4-byte pixels).
TBitmap24 MakeSlide(const TShowPicture& picture, const std::string& caption,
                    const TShowChoices& choices, const TScreenSpec& screen, TTextEngine& engine,
                    TBitmap24 canvas = {});

} // namespace tevrin
