// SPDX-License-Identifier: MIT
#include "show/Choices.h"

#include "effects/Styles.h"

#include <algorithm>

namespace tevrin {
namespace {

// The classic defaults of the system colours a caption may name.
std::uint32_t ColorToRgb(TColor color) {
    if (color >= 0) return static_cast<std::uint32_t>(color) & 0xFFFFFF;
    switch (color & 0xFF) {
    case 5:
        return 0xFFFFFF; // window
    case 14:
        return 0xFFFFFF; // highlight text
    case 15:
        return 0xF0F0F0; // button face
    case 13:
        return 0xD77800; // highlight
    default:
        return 0x000000; // the text colours
    }
}

} // namespace

TShowChoices TShowChoices::Of(const TSSFileLocations& record) {
    TShowChoices c;
    c.Fit = record.FitMode;
    c.BlurBorders = record.BlurBorders;
    c.Monitors = record.MonitorMode;
    for (int number : record.Styles)
        if (number >= 0 && number <= kLastStyle)
            c.Styles.push_back(static_cast<TShowStyle>(number));
    c.RandomPicture = record.lRandomPic;
    c.RandomStyle = record.lRandomStyle;
    c.Shuffle = record.lShuffle;
    c.ClearOldImage = record.lClearOldImage;
    c.MoviesAfterPictures = record.Ver == "flash";
    c.IntervalMs = std::max(record.Interval, 0);
    if (record.TransitionTime != 0) {
        const int ms = std::clamp(record.TransitionTime, kMinTransitionMs, kMaxTransitionMs);
        c.TransitionFrames = (ms + kDefaultFrameDelayMs / 2) / kDefaultFrameDelayMs;
    }
    c.Motion = record.Motion;
    c.Text = record.Captions ? std::string() : record.Text;
    c.Caption.Face = record.TextFont.Name;
    c.Caption.Points = record.TextFont.Size();
    c.Caption.Rgb = ColorToRgb(record.TextFont.Color);
    c.Caption.Shadow = record.CaptionShadow;
    c.Caption.Inside = record.CaptionShadow || record.Captions.has_value();
    return c;
}

} // namespace tevrin
