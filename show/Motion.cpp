// SPDX-License-Identifier: MIT
#include "show/Motion.h"

#include "gfx/Bilinear.h"
#include "gfx/ColorProfile.h"
#include "gfx/Copy.h"
#include "gfx/Exif.h"
#include "gfx/Jpeg.h"
#include "gfx/Resample.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <random>

namespace tevrin {
namespace {

// The farthest a pan goes from the centre, as a share of the screen's side:
// as far as the closest zoom reaches, so panning and zooming pictures move
// at one pace.
constexpr double kMaxPanShare = (kMaxMotionZoom - 1) / 2;
// Moments sampled to find the part of the picture any moment shows.
constexpr int kCropSamples = 32;

} // namespace

std::uint32_t MotionSeed(int picture, int change) {
    std::seed_seq seq{static_cast<std::uint32_t>(picture), static_cast<std::uint32_t>(change)};
    std::uint32_t seed = 0;
    seq.generate(&seed, &seed + 1);
    return seed;
}

TMovingSlide::TMovingSlide(const TShowPicture& picture, const std::string& caption,
                           const TShowChoices& choices, const TScreenSpec& screen,
                           TTextEngine& engine, std::uint32_t seed)
    : TMovingSlide(picture, choices, screen, seed) {
    SetCaption(caption, choices, screen.PixelsPerInch, engine);
}

TMovingSlide::TMovingSlide(const TShowPicture& picture, const TShowChoices& choices,
                           const TScreenSpec& screen, std::uint32_t seed)
    : sw_(std::max(screen.Width, 0)), sh_(std::max(screen.Height, 0)) {
    std::optional<TJpegInfo> jpeg;
    int uw = 0, uh = 0;
    if (!picture.Jpeg.empty()) {
        jpeg = ReadJpegInfo(picture.Jpeg.data(), picture.Jpeg.size());
        uw = jpeg->UprightWidth();
        uh = jpeg->UprightHeight();
    } else {
        uw = picture.Upright.Width();
        uh = picture.Upright.Height();
    }
    place_ = PlacePicture(uw, uh, sw_, sh_, choices.Fit);
    if (place_.IsEmpty()) return; // no picture: a black screen

    // Never past the picture's own pixels.
    zoom_max_ = std::clamp(static_cast<double>(uw) / place_.Width(), 1.0, kMaxMotionZoom);
    std::mt19937 random(seed);
    zoom_in_ = std::uniform_int_distribution<int>(0, 1)(random) == 1;
    const double angle = std::uniform_real_distribution<double>(0, 2 * std::numbers::pi)(random);
    pan_x_ = std::cos(angle);
    pan_y_ = std::sin(angle);
    moves_ = zoom_max_ > 1.001 || Room(zoom_max_, true) >= 0.5 || Room(zoom_max_, false) >= 0.5;

    full_w_ = std::max(1, static_cast<int>(std::lround(place_.Width() * zoom_max_)));
    full_h_ = std::max(1, static_cast<int>(std::lround(place_.Height() * zoom_max_)));
    // The part of the picture that some moment shows, with a margin for the
    // filter.
    double left = full_w_, top = full_h_, right = 0, bottom = 0;
    for (int k = 0; k <= kCropSamples; ++k) {
        const TMotionView v = ViewAt(static_cast<double>(k) / kCropSamples);
        const double kx = full_w_ / v.Width, ky = full_h_ / v.Height;
        left = std::min(left, (std::max(0.0, v.Left) - v.Left) * kx);
        right = std::max(right, (std::min<double>(sw_, v.Left + v.Width) - v.Left) * kx);
        top = std::min(top, (std::max(0.0, v.Top) - v.Top) * ky);
        bottom = std::max(bottom, (std::min<double>(sh_, v.Top + v.Height) - v.Top) * ky);
    }
    crop_x_ = std::clamp(static_cast<int>(std::floor(left)) - 2, 0, full_w_);
    crop_y_ = std::clamp(static_cast<int>(std::floor(top)) - 2, 0, full_h_);
    const int crop_w =
        std::clamp(static_cast<int>(std::ceil(right)) + 2, crop_x_, full_w_) - crop_x_;
    const int crop_h =
        std::clamp(static_cast<int>(std::ceil(bottom)) + 2, crop_y_, full_h_) - crop_y_;
    if (crop_w == 0 || crop_h == 0) return;

    source_ = TBilinearSource(crop_w, crop_h);
    const bool covered =
        place_.Left <= 0 && place_.Top <= 0 && place_.Right >= sw_ && place_.Bottom >= sh_;
    auto compose = [&](const TBitmap24& stored, int orientation) {
        DrawScaled(source_.Pixels(), -crop_x_, -crop_y_, full_w_, full_h_, stored, orientation);
        if (choices.BlurBorders && !covered) {
            backdrop_ = TBitmap24(sw_, sh_);
            DrawBackdrop(backdrop_, stored, orientation);
        }
    };
    if (jpeg) {
        const TJpegDecode how = TJpegDecode::Covering(*jpeg, full_w_, full_h_, screen.Palette8);
        compose(DecodeJpegInSrgb(picture.Jpeg, how), jpeg->Orientation);
    } else {
        compose(picture.Upright, kOrientationUpright);
    }
}

double TMovingSlide::Room(double zoom, bool across) const {
    const int low = across ? place_.Left : place_.Top, high = across ? place_.Right : place_.Bottom;
    const int side = across ? sw_ : sh_;
    const double centre = (low + high) / 2.0, half = zoom * (high - low) / 2.0;
    // The view must still cover what the still picture covers on screen.
    const double room =
        std::min(std::max(low, 0) - centre + half, centre + half - std::min(high, side));
    return std::clamp(room, 0.0, kMaxPanShare * side);
}

TMotionView TMovingSlide::EndView(bool last) const {
    // Zooming in, the pan goes from one side of the room at the still size
    // to the other at the closest zoom; zooming out, back.
    const double zoom = last == zoom_in_ ? zoom_max_ : 1.0;
    const double side = last ? 1 : -1;
    TMotionView v;
    v.Width = zoom * place_.Width();
    v.Height = zoom * place_.Height();
    v.Left = (place_.Left + place_.Right) / 2.0 + side * pan_x_ * Room(zoom, true) - v.Width / 2;
    v.Top = (place_.Top + place_.Bottom) / 2.0 + side * pan_y_ * Room(zoom, false) - v.Height / 2;
    return v;
}

TMotionView TMovingSlide::ViewAt(double t) const {
    // Between two views that cover what the still picture covers, every
    // view does too; the edges move at one speed.
    t = std::clamp(t, 0.0, 1.0);
    const TMotionView a = EndView(false), b = EndView(true);
    auto mix = [t](double x, double y) { return x + (y - x) * t; };
    return {mix(a.Left, b.Left), mix(a.Top, b.Top), mix(a.Width, b.Width), mix(a.Height, b.Height)};
}

TBitmap24 TMovingSlide::Frame(double t, int pixel_bytes) const {
    TBitmap24 screen = pixel_bytes == 4 ? TBitmap24(sw_, sh_, TBitmap24::kPixels32)
                                        : TBitmap24(sw_, sh_, TBitmap24::kUndefined);
    Draw(t, screen);
    return screen;
}

void TMovingSlide::Draw(double t, TBitmap24& screen) const {
    if (screen.Width() != sw_ || screen.Height() != sh_)
        screen = screen.PixelBytes() == 4 ? TBitmap24(sw_, sh_, TBitmap24::kPixels32)
                                          : TBitmap24(sw_, sh_, TBitmap24::kUndefined);
    DrawPicture(ViewAt(t), screen);
    DrawCaptionOverlay(screen);
}

void TMovingSlide::DrawPicture(const TMotionView& view, TBitmap24& screen) const {
    // A pixel shows the picture when its centre lies inside the view.
    auto first_inside = [](double edge, int limit) {
        return std::clamp(static_cast<int>(std::ceil(edge - 0.5)), 0, limit);
    };
    const int xa = source_.Empty() ? 0 : first_inside(view.Left, sw_);
    const int xb = source_.Empty() ? 0 : std::max(xa, first_inside(view.Left + view.Width, sw_));
    const int ya = source_.Empty() ? 0 : first_inside(view.Top, sh_);
    const int yb = source_.Empty() ? 0 : std::max(ya, first_inside(view.Top + view.Height, sh_));
    const int pixel = screen.PixelBytes();
    auto background = [&](int y, int x0, int x1) {
        if (x1 <= x0) return;
        std::uint8_t* out = screen.Row(y) + x0 * pixel;
        if (backdrop_.Empty())
            std::memset(out, 0, static_cast<std::size_t>(x1 - x0) * pixel);
        else if (pixel == 4)
            WidenPixels(backdrop_.Row(y) + x0 * 3, out, x1 - x0);
        else
            std::memcpy(out, backdrop_.Row(y) + x0 * 3, static_cast<std::size_t>(x1 - x0) * 3);
    };
    const double kx = full_w_ / view.Width, ky = full_h_ / view.Height;
    DrawBilinear(screen, source_,
                 {{xa, ya, xb, yb},
                  (xa + 0.5 - view.Left) * kx - 0.5 - crop_x_,
                  kx,
                  (ya + 0.5 - view.Top) * ky - 0.5 - crop_y_,
                  ky});
    for (int y = 0; y < sh_; ++y) {
        if (y < ya || y >= yb) {
            background(y, 0, sw_);
        } else {
            background(y, 0, xa);
            background(y, xb, sw_);
        }
    }
}

void TMovingSlide::SetCaption(const std::string& caption, const TShowChoices& choices,
                              int pixels_per_inch, TTextEngine& engine) {
    caption_ = {};
    if (caption.empty() || sw_ == 0 || sh_ == 0) return;
    const TCaptionPlace place =
        PlaceCaption(sw_, sh_, caption, choices.Caption, pixels_per_inch, engine);
    const TRect box = CaptionReach(place, sw_, sh_);
    if (box.IsEmpty()) return;
    // Drawn over black and over white, the caption shows what it adds to a
    // pixel and how much of the pixel it keeps, for any picture under it.
    TBitmap24 black(box.Width(), box.Height()), white(box.Width(), box.Height());
    for (int y = 0; y < white.Height(); ++y)
        std::memset(white.Row(y), 255, static_cast<std::size_t>(white.Width()) * 3);
    PaintCaption(black, -box.Left, -box.Top, place, caption, engine);
    PaintCaption(white, -box.Left, -box.Top, place, caption, engine);
    caption_.Box = box;
    const std::size_t row_bytes = static_cast<std::size_t>(box.Width()) * 3;
    caption_.Keep.resize(row_bytes * box.Height());
    caption_.Add.resize(caption_.Keep.size());
    for (int y = 0; y < box.Height(); ++y)
        for (std::size_t k = 0; k < row_bytes; ++k) {
            const int b = black.Row(y)[k], w = white.Row(y)[k];
            caption_.Keep[y * row_bytes + k] = static_cast<std::uint8_t>(std::max(0, w - b));
            caption_.Add[y * row_bytes + k] = static_cast<std::uint8_t>(b);
        }
}

void TMovingSlide::DrawCaptionOverlay(TBitmap24& screen) const {
    const TRect& box = caption_.Box;
    if (box.IsEmpty()) return;
    const std::size_t row_bytes = static_cast<std::size_t>(box.Width()) * 3;
    const int pixel = screen.PixelBytes();
    for (int y = box.Top; y < box.Bottom; ++y) {
        std::uint8_t* out = screen.Row(y) + box.Left * pixel;
        const std::uint8_t* keep = caption_.Keep.data() + (y - box.Top) * row_bytes;
        const std::uint8_t* add = caption_.Add.data() + (y - box.Top) * row_bytes;
        for (int x = 0; x < box.Width(); ++x, out += pixel, keep += 3, add += 3)
            for (int ch = 0; ch < 3; ++ch)
                out[ch] = static_cast<std::uint8_t>(
                    std::min(255, (out[ch] * keep[ch] + 127) / 255 + add[ch]));
    }
}

} // namespace tevrin
