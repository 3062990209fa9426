// SPDX-License-Identifier: MIT
// Pictures made ready to be stored in a saver: kept as they are where they
// can be, else turned upright, scaled down to a limit and encoded as JPEG.
#pragma once

#include "gfx/Rect.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tevrin {

struct TPictureLimits {
    // Pictures larger than this, standing upright, are scaled down to fit
    // it; 0 leaves that side unlimited.
    int MaxWidth = 3840, MaxHeight = 2160;
    // The quality of the JPEGs written here.
    int Quality = 92;

    bool TooLarge(int w, int h) const;
    // The size a picture standing w x h is stored at, at the origin.
    TRect StoredSize(int w, int h) const;
};

// What is stored for one picture: the JPEG bytes as given when it is a JPEG
// that needs nothing, else a JPEG of its own of the upright picture, scaled
// down to the limits and in sRGB (converted from the colour profile it
// carries, where that is another, and stored without one).
struct TStoredPicture {
    std::vector<std::uint8_t> Jpeg;
    int Width = 0, Height = 0;
    bool Converted = false;
    // The name of the profile its colours were converted from; empty when
    // they were not.
    std::string ColoursFrom;
    // Why something of the picture was passed over (a profile that cannot
    // be read); empty when nothing was.
    std::string Warning;
};
// Raises EError naming what is wrong with a picture that cannot be read.
TStoredPicture PreparePicture(std::vector<std::uint8_t> bytes, const TPictureLimits& limits);

} // namespace tevrin
