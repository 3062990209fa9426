// SPDX-License-Identifier: MIT
// Pictures made ready to be stored in a saver: kept as they are where they
// can be, else turned upright, scaled down to a limit and encoded as JPEG.
#pragma once

#include "gfx/Rect.h"

#include <cstdint>
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
// down to the limits and in RGB.
struct TStoredPicture {
    std::vector<std::uint8_t> Jpeg;
    int Width = 0, Height = 0;
    bool Converted = false;
};
// Raises EError naming what is wrong with a picture that cannot be read.
TStoredPicture PreparePicture(std::vector<std::uint8_t> bytes, const TPictureLimits& limits);

} // namespace tevrin
