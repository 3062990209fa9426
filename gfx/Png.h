// SPDX-License-Identifier: MIT
// PNG files through libpng: rendered frames and sheets, and pictures given to
// the pack tool.
#pragma once

#include "gfx/Bitmap24.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tevrin {

// The bitmap as a PNG file's bytes; raises EError with libpng's message.
std::vector<std::uint8_t> EncodePng(const TBitmap24& bitmap);
// Raises EError with libpng's message, or "Cannot create file %s".
void WritePng(const std::string& path, const TBitmap24& bitmap);
// Any PNG (palette, gray, 16 bits, interlaced); transparency is composited
// on black. A picture whose pixels would take more than kMaxPictureBytes is
// refused from its header, before anything is allocated. Raises EError
// with libpng's message.
TBitmap24 DecodePng(std::span<const std::uint8_t> bytes);

} // namespace tevrin
