// SPDX-License-Identifier: MIT
// The transition styles, one row each: the table that the frame routine,
// the saver's choice of style, the bench and the tests all go through. A new
// style is a new row here and its step in its family's file.
#pragma once

#include "effects/Effects.h"

#include <span>
#include <string>

namespace tevrin {

// Families share how a frame is drawn (ClassOfStyle) and a file of steps.
enum class TStyleFamily {
    Custom,     // style 0: the handler draws, or the picture shows at once
    Rectangle,  // one stretched rectangle of the picture (RectangleStyles)
    MultiPiece, // several rectangles, some mirrored (MultiPieceStyles)
    Strip,      // a region of strips, combs and scattered blocks (StripStyles)
    Shape,      // a region of one shape that grows (ShapeStyles)
    Pixel,      // per-pixel rotations and fades (PixelStyles)
};

struct TStyleInfo {
    TShowStyle Number;
    TStyleFamily Family;
    // Draws with the shared random generator: its frames depend on the seed.
    bool Random;
    // Speed goal: the slowest frame at most this many times the time of
    // copying a frame, at 1920x1080 and at 3840x2160.
    double GoalAt1080, GoalAt4K;
    // What it draws, in a few words that tell it from every other style
    // ("Wipe from the left"): what the page, `render --list` and pack's
    // help show beside the number.
    const char* Name;
};

// Every style, 0 to kLastStyle, in number order: StyleTable()[n].Number == n.
std::span<const TStyleInfo> StyleTable();
// The transitions proper: styles 1 to kLastStyle (0 is the plain cut).
std::span<const TStyleInfo> Transitions();

TStyleClass ClassOf(TStyleFamily family);
// The family as people are shown it: "cut", "wipe", "pieces", "strips",
// "shape" or "fade".
const char* FamilyName(TStyleFamily family);
// "51: Stretch out from the centre (wipe)"
std::string StyleTitle(const TStyleInfo& style);

} // namespace tevrin
