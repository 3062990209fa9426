// SPDX-License-Identifier: MIT
#include "gfx/Compose.h"

#include "gfx/ColorProfile.h"
#include "gfx/Copy.h"
#include "gfx/Exif.h"
#include "gfx/Jpeg.h"
#include "gfx/Resample.h"

#include <algorithm>

namespace tevrin {
namespace {

// a * b / c rounded to the nearest, at least 1.
int Scaled(long long a, long long b, long long c) {
    return static_cast<int>(std::max(1LL, (2 * a * b + c) / (2 * c)));
}

} // namespace

TRect PlacePicture(int w, int h, int sw, int sh, TFitMode mode) {
    if (w <= 0 || h <= 0 || sw <= 0 || sh <= 0) return {};
    if (mode == TFitMode::fmShrink) mode = w > sw || h > sh ? TFitMode::fmFit : TFitMode::fmNatural;
    int pw = w, ph = h;
    // Whether the picture is wider than the screen, in proportion.
    const bool wider = static_cast<long long>(w) * sh >= static_cast<long long>(h) * sw;
    if (mode == TFitMode::fmFit) {
        if (wider)
            pw = sw, ph = Scaled(h, sw, w);
        else
            ph = sh, pw = Scaled(w, sh, h);
    } else if (mode == TFitMode::fmFill) {
        if (wider)
            ph = sh, pw = Scaled(w, sh, h);
        else
            pw = sw, ph = Scaled(h, sw, w);
    }
    const int left = (sw - pw) / 2, top = (sh - ph) / 2;
    return {left, top, left + pw, top + ph};
}

namespace {

// `canvas` composed; `black` when it is black already.
TBitmap24 ComposeInto(const TBitmap24& stored, int orientation, const TRect& place,
                      TBitmap24 canvas, bool backdrop, bool black) {
    const int sw = canvas.Width(), sh = canvas.Height();
    const bool covered =
        place.Left <= 0 && place.Top <= 0 && place.Right >= sw && place.Bottom >= sh;
    if (backdrop && !covered) {
        DrawBackdrop(canvas, stored, orientation);
    } else if (!covered && !black) {
        FillRect(canvas, {0, 0, sw, place.Top}, 0);
        FillRect(canvas, {0, place.Bottom, sw, sh}, 0);
        FillRect(canvas, {0, place.Top, place.Left, place.Bottom}, 0);
        FillRect(canvas, {place.Right, place.Top, sw, place.Bottom}, 0);
    }
    DrawScaled(canvas, place.Left, place.Top, place.Width(), place.Height(), stored, orientation);
    return canvas;
}

} // namespace

TBitmap24 ComposeOnScreen(const TBitmap24& stored, int orientation, const TRect& place, int sw,
                          int sh, bool backdrop) {
    return ComposeInto(stored, orientation, place, TBitmap24(sw, sh), backdrop, true);
}

TBitmap24 ComposeJpeg(std::span<const std::uint8_t> jpeg, int sw, int sh, TFitMode mode,
                      bool backdrop, bool palette8) {
    return ComposeJpeg(jpeg, TBitmap24(sw, sh), mode, backdrop, palette8);
}

TBitmap24 ComposeJpeg(std::span<const std::uint8_t> jpeg, TBitmap24 canvas, TFitMode mode,
                      bool backdrop, bool palette8) {
    const TJpegInfo info = ReadJpegInfo(jpeg.data(), jpeg.size());
    const TRect place = PlacePicture(info.UprightWidth(), info.UprightHeight(), canvas.Width(),
                                     canvas.Height(), mode);
    const TJpegDecode how = TJpegDecode::Covering(info, place.Width(), place.Height(), palette8);
    // The decoded picture lives only until it is composed, in sRGB's
    // colours.
    return ComposeInto(DecodeJpegInSrgb(jpeg, how), info.Orientation, place, std::move(canvas),
                       backdrop, false);
}

TBitmap24 ComposePicture(const TShowPicture& picture, int sw, int sh, TFitMode mode, bool backdrop,
                         bool palette8) {
    return ComposePicture(picture, TBitmap24(sw, sh), mode, backdrop, palette8);
}

TBitmap24 ComposePicture(const TShowPicture& picture, TBitmap24 canvas, TFitMode mode,
                         bool backdrop, bool palette8) {
    if (!picture.Jpeg.empty())
        return ComposeJpeg(picture.Jpeg, std::move(canvas), mode, backdrop, palette8);
    if (picture.Upright.Empty()) {
        FillRect(canvas, {0, 0, canvas.Width(), canvas.Height()}, 0);
        return canvas;
    }
    const TRect place = PlacePicture(picture.Upright.Width(), picture.Upright.Height(),
                                     canvas.Width(), canvas.Height(), mode);
    return ComposeInto(picture.Upright, kOrientationUpright, place, std::move(canvas), backdrop,
                       false);
}

} // namespace tevrin
