// SPDX-License-Identifier: MIT
// HEIF pictures (HEIC from phones, AVIF) through libheif, for the pack tool.
#pragma once

#include "gfx/Bitmap24.h"

#include <cstdint>
#include <span>
#include <vector>

namespace tevrin {

// The primary picture, upright: the file's own rotation and mirroring are
// applied. Transparency is composited on black. A picture whose pixels
// would take more than kMaxPictureBytes is refused before decoding. Raises
// EError with libheif's message.
TBitmap24 DecodeHeif(std::span<const std::uint8_t> bytes);

// The primary picture's colour profile: its ICC profile ("prof", "rICC"),
// else one made of its colour description ("nclx": primaries, and the sRGB,
// BT.709, PQ or linear transfer) where that is not sRGB's own; empty when
// it has neither or the file cannot be read.
std::vector<std::uint8_t> HeifColourProfile(std::span<const std::uint8_t> bytes);

// The primary picture's Exif block, from its TIFF header on; empty when it
// has none or the file cannot be read.
std::vector<std::uint8_t> HeifExif(std::span<const std::uint8_t> bytes);

} // namespace tevrin
