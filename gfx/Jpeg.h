// SPDX-License-Identifier: MIT
// JPEG (JFIF) decoding and encoding through libjpeg.
//
// Every libjpeg error becomes an EError carrying libjpeg's own message; the
// library never gets to end the process. Warnings are dropped.
#pragma once

#include "gfx/Bitmap24.h"
#include "gfx/Exif.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace tevrin {

struct TJpegInfo {
    int Width = 0; // as stored, before any Exif orientation
    int Height = 0;
    int Components = 0;
    bool Cmyk = false; // four inks, stored as CMYK or YCCK
    bool Progressive = false;
    int Orientation = 1; // from the Exif block, 1 without one (gfx/Exif.h)

    // The size standing upright, its orientation applied.
    int UprightWidth() const { return SwapsAxes(Orientation) ? Height : Width; }
    int UprightHeight() const { return SwapsAxes(Orientation) ? Width : Height; }
};

// The most memory the decoder may use beside the picture it decodes into:
// the whole-picture buffers of a progressive picture (two bytes a sample)
// count here. A 24-megapixel photo needs 72 MB of them.
inline constexpr long kMaxJpegWorkMemory = 256L << 20;

struct TJpegDecode {
    // With a minimum size the decoder scales down by the DCT, in eighths of
    // the stored size, to the smallest size not below it in either axis
    // among 1/8 to 5/8 (the larger eighths decode no faster than the full
    // size); without one, or when none of them covers it, at full size.
    int MinWidth = 0;
    int MinHeight = 0;
    // Quantised to a 256-colour palette first (as for a display of 8 bits
    // per pixel or fewer), then expanded into the 24-bit result.
    bool Palette8 = false;
    // How a row of `width` four-ink pixels of a CMYK picture becomes BGR
    // (its colour profile's conversion); `inverted` when 0 is full ink, as
    // Adobe's writers store them. Without one, a plain formula.
    std::function<void(const std::uint8_t* cmyk, std::uint8_t* bgr, int width, bool inverted)> Inks;

    // A decode covering w x h of the picture standing upright: the minimum
    // size in the axes it is stored in.
    static TJpegDecode Covering(const TJpegInfo& info, int w, int h, bool palette8 = false) {
        const bool swap = SwapsAxes(info.Orientation);
        return {swap ? h : w, swap ? w : h, palette8, {}};
    }
};

TJpegInfo ReadJpegInfo(const std::uint8_t* data, std::size_t size);

// Decodes with the decoder's default, most accurate settings into the
// stored orientation. A picture that would take more than kMaxPictureBytes
// decoded, or more than kMaxJpegWorkMemory while decoding, is refused as too
// large before its pixels are allocated; one whose data ends long before its
// declared size (before half of its first scan) as ending early, rather than
// shown gray. Grayscale, RGB and YCbCr pictures come out as they
// are; CMYK and YCCK ones are converted to RGB, their inks taken as inverted
// when an Adobe marker says the writer was Adobe's (as Photoshop writes them).
TBitmap24 DecodeJpeg(const std::uint8_t* data, std::size_t size, const TJpegDecode& how = {});

std::vector<std::uint8_t> EncodeJpeg(const TBitmap24& bitmap, int quality);

} // namespace tevrin
