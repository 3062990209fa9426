// SPDX-License-Identifier: MIT
// A picture placed on a screen-sized canvas: at its natural size or fitted,
// on black or on a blurred backdrop of itself.
#pragma once

#include "gfx/Bitmap24.h"
#include "gfx/Rect.h"

#include <cstdint>
#include <span>
#include <vector>

namespace tevrin {

enum class TFitMode {
    fmNatural, // natural size, centred, cut when larger than the screen
    fmShrink,  // as fmFit when larger than the screen, else natural size
    fmFit,     // scaled up or down to fit whole, keeping its aspect ratio
    fmFill,    // scaled to cover the whole screen, the overflow cut evenly
};

// Where an upright picture of w x h lands on a screen of sw x sh: its
// scaled size, centred with its top-left corner at ((sw - width) div 2,
// (sh - height) div 2), div rounding toward zero. It may reach past the
// screen (fmNatural, fmFill). A fitted side is never below one pixel.
TRect PlacePicture(int w, int h, int sw, int sh, TFitMode mode);

// A sw x sh canvas with `stored` (its pixels as stored, turned upright by
// the Exif `orientation`) scaled into `place`, filtered when the sizes
// differ. Outside the picture the canvas is black, or with `backdrop` a
// blurred, darkened copy of the picture covering the screen.
TBitmap24 ComposeOnScreen(const TBitmap24& stored, int orientation, const TRect& place, int sw,
                          int sh, bool backdrop);

// A JPEG file as the slide show shows it: decoded no larger than its place
// needs (DCT scaling), turned upright by its Exif orientation and composed
// as ComposeOnScreen does. With `palette8` decoded through a 256-colour
// palette, as for a display of 8 bits per pixel or fewer.
TBitmap24 ComposeJpeg(std::span<const std::uint8_t> jpeg, int sw, int sh, TFitMode mode,
                      bool backdrop, bool palette8 = false);
// The same into `canvas`, of the screen's size in 3- or 4-byte pixels, its
// pixels undefined before: reused memory, or the display's own pixels.
TBitmap24 ComposeJpeg(std::span<const std::uint8_t> jpeg, TBitmap24 canvas, TFitMode mode,
                      bool backdrop, bool palette8 = false);

// A picture as a show takes it: a JPEG file, decoded no larger than its
// place needs, or, without one, pixels already standing upright. Neither
// is a picture that could not be had: its screen stays black.
struct TShowPicture {
    std::vector<std::uint8_t> Jpeg;
    TBitmap24 Upright;

    bool Empty() const { return Jpeg.empty() && Upright.Empty(); }
};

// ComposeJpeg or ComposeOnScreen, as the picture is.
TBitmap24 ComposePicture(const TShowPicture& picture, int sw, int sh, TFitMode mode, bool backdrop,
                         bool palette8 = false);
// The same into `canvas`, as ComposeJpeg's.
TBitmap24 ComposePicture(const TShowPicture& picture, TBitmap24 canvas, TFitMode mode,
                         bool backdrop, bool palette8 = false);

} // namespace tevrin
