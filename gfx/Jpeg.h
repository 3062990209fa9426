// JPEG (JFIF) decoding and encoding through libjpeg.
//
// Every libjpeg error becomes an EError carrying libjpeg's own message; the
// library never gets to end the process. Warnings are dropped.
#pragma once

#include "gfx/Bitmap24.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tevrin {

struct TJpegInfo {
    int Width = 0;
    int Height = 0;
    int Components = 0;
};

// Pictures whose decoded pixels would take more than this are refused before
// anything is allocated.
inline constexpr std::uint64_t kMaxJpegPixelBytes = 512ull << 20;

TJpegInfo ReadJpegInfo(const std::uint8_t* data, std::size_t size);

// Decodes at full size with the decoder's default, most accurate settings.
// With `palette8` the decoder quantises to a 256-colour palette first (as for
// a display of 8 bits per pixel or fewer) and the palette is expanded into the
// 24-bit result.
TBitmap24 DecodeJpeg(const std::uint8_t* data, std::size_t size, bool palette8 = false);

std::vector<std::uint8_t> EncodeJpeg(const TBitmap24& bitmap, int quality);

} // namespace tevrin
