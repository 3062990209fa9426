// SPDX-License-Identifier: MIT
// Text on our own 24-bit bitmaps, with a transparent background: the
// bitmap shows through between the letters.
#pragma once

#include "gfx/Bitmap24.h"

#include <cstdint>
#include <string>

namespace tevrin {

struct TFontSpec {
    std::string Face = "MS Sans Serif";
    // Character height in pixels (negative, as font heights are given) or
    // cell height (positive).
    int Height = -11;
    std::uint32_t Color = 0; // red + 256 green + 65536 blue
    bool Bold = false;
};

struct TTextExtent {
    int Width = 0, Height = 0;
};

// Text measured and drawn with the system's fonts: each platform has one
// (TPlatform::Text).
class TTextEngine {
public:
    virtual ~TTextEngine() = default;
    // The size of one line of `text` (UTF-8), as Paint draws it.
    virtual TTextExtent Measure(const TFontSpec& font, const std::string& text) = 0;
    // Draws one line with its top-left corner at (x, y); pixels outside the
    // bitmap are skipped. A face the system lacks is replaced by a common
    // one, and characters the face lacks come from a face that has them.
    virtual void Paint(TBitmap24& bitmap, int x, int y, const TFontSpec& font,
                       const std::string& text) = 0;
};

} // namespace tevrin
