// SPDX-License-Identifier: MIT
// A slide that moves while it is on screen: a slow zoom and pan over the
// picture's whole time, drawn at any moment of it.
//
// Its time runs from 0, the frame a transition brings in, to 1, the frame
// the next transition starts from. The view never uncovers screen that the
// still slide covers with the picture, and never enlarges the picture past
// its own pixels: a picture the screen already shows at its own size or
// larger zooms not at all. Pixels between the picture's own are filtered
// (bilinear), so a view a fraction of a pixel on moves by that fraction.
#pragma once

#include "gfx/Bilinear.h"
#include "gfx/Text.h"
#include "show/Choices.h"
#include "show/Slide.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tevrin {

// The closest view of a moving picture, as a factor of its still size.
inline constexpr double kMaxMotionZoom = 1.15;
// How long a picture moves when the show stays on it (an interval of 0).
inline constexpr int kMotionWithoutIntervalMs = 30000;

// Where a moving picture lies on the screen at one moment: its whole
// upright picture scaled into this rectangle, in screen pixels.
struct TMotionView {
    double Left = 0, Top = 0, Width = 0, Height = 0;
};

class TMovingSlide {
public:
    TMovingSlide() = default;
    // `seed` draws the way it moves: zooming in or out, and the direction
    // of the pan. Slides made alike with one seed move alike.
    TMovingSlide(const TShowPicture& picture, const std::string& caption,
                 const TShowChoices& choices, const TScreenSpec& screen, TTextEngine& engine,
                 std::uint32_t seed);
    // The same without its caption: no text engine, so it may be made on
    // any thread; SetCaption then adds it.
    TMovingSlide(const TShowPicture& picture, const TShowChoices& choices,
                 const TScreenSpec& screen, std::uint32_t seed);
    void SetCaption(const std::string& caption, const TShowChoices& choices, int pixels_per_inch,
                    TTextEngine& engine);

    int Width() const { return sw_; }
    int Height() const { return sh_; }
    // False when the picture cannot move (too small to zoom, nothing of it
    // out of sight): every moment draws the same frame.
    bool Moves() const { return moves_; }
    TMotionView ViewAt(double t) const;
    // Draws the moment t (clamped to 0..1) over all of `screen`, of either
    // pixel size; a screen of another size is remade at the slide's.
    void Draw(double t, TBitmap24& screen) const;
    // The moment t in a new bitmap of `pixel_bytes` (3 or 4) a pixel.
    TBitmap24 Frame(double t, int pixel_bytes = 3) const;
    // The memory the slide holds.
    std::size_t ByteSize() const {
        return source_.ByteSize() + backdrop_.ByteSize() + caption_.Keep.size() * 2;
    }

private:
    // What a caption does to the pixels under it: each channel becomes
    // v * Keep / 255 + Add, inside Box.
    struct TCaptionOverlay {
        TRect Box;
        std::vector<std::uint8_t> Keep, Add;
    };
    void DrawPicture(const TMotionView& view, TBitmap24& screen) const;
    void DrawCaptionOverlay(TBitmap24& screen) const;
    // How far the view may move from the centre across (x) or down, at a
    // zoom.
    double Room(double zoom, bool across) const;
    // The view at the start (the end, with `last`) of the motion.
    TMotionView EndView(bool last) const;

    int sw_ = 0, sh_ = 0;
    TRect place_;                  // the still slide's picture
    double zoom_max_ = 1;          // at most kMaxMotionZoom
    bool zoom_in_ = true;          // from 1 to zoom_max_, else back
    double pan_x_ = 0, pan_y_ = 0; // the pan's direction, a unit vector
    bool moves_ = false;
    // The part of the picture any moment shows, scaled to its size at the
    // closest zoom; the whole picture at that scale is full_w_ x full_h_,
    // the part starting at (crop_x_, crop_y_) of it.
    TBilinearSource source_;
    int full_w_ = 0, full_h_ = 0, crop_x_ = 0, crop_y_ = 0;
    TBitmap24 backdrop_; // around the picture; empty for black
    TCaptionOverlay caption_;
};

// The seed of a slide's motion, from the picture and the how-manieth change
// of the show brings it: every change moves anew, and views that show the
// same change move alike.
std::uint32_t MotionSeed(int picture, int change);

} // namespace tevrin
