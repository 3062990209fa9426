// SPDX-License-Identifier: MIT
// What a show is asked to be: the record's show properties, read once into
// a typed value that every front end (the saver, its preview, the tools'
// renders, the Studio) takes its decisions from.
#pragma once

#include "effects/Effects.h"
#include "gfx/Compose.h"
#include "payload/SSFileLocations.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tevrin {

// How captions look: the record's face, size and colour (never its style:
// captions are drawn upright and plain).
struct TCaptionLook {
    std::string Face = "MS Sans Serif";
    int Points = 8;
    std::uint32_t Rgb = 0; // red + 256 green + 65536 blue
    // A dark outline around the strokes, so the caption reads on any
    // picture.
    bool Shadow = false;
    // The caption stands clear of the bottom edge by a margin that grows
    // with the font, and is made smaller where it would not fit across the
    // screen. Off, it sits on the bottom edge and may run off both sides.
    bool Inside = false;
};

struct TShowChoices {
    TFitMode Fit = TFitMode::fmNatural;
    bool BlurBorders = false;
    TMonitorMode Monitors = TMonitorMode::mmPrimary;
    // The transitions taken, in their order; empty: every transition.
    std::vector<TShowStyle> Styles;
    bool RandomPicture = false, RandomStyle = false;
    // With RandomPicture (RandomStyle): no repeats, each once a round.
    bool Shuffle = false;
    bool ClearOldImage = false;
    // A movie saver: once its pictures are over, movies take the screen.
    bool MoviesAfterPictures = false;
    // Milliseconds between a transition's end and the next picture change,
    // when a picture has no time of its own.
    int IntervalMs = 0;
    // Frames of one transition, kDefaultFrameDelayMs apart.
    int TransitionFrames = kDefaultTransitionFrames;
    TMotion Motion = TMotion::moNone;
    // The show's one caption, drawn on every other picture where pictures
    // carry no captions of their own.
    std::string Text;
    TCaptionLook Caption;

    // The record's choices. Styles the engine lacks are dropped; a
    // transition time is kept within kMinTransitionMs..kMaxTransitionMs.
    static TShowChoices Of(const TSSFileLocations& record);
};

inline constexpr int kMinTransitionMs = 200, kMaxTransitionMs = 10000;

} // namespace tevrin
