// HEIF pictures (HEIC from phones, AVIF) through libheif, for the pack tool.
#pragma once

#include "gfx/Bitmap24.h"

#include <cstdint>
#include <span>

namespace tevrin {

// The primary picture, upright: the file's own rotation and mirroring are
// applied. Transparency is composited on black. A picture whose pixels
// would take more than kMaxPictureBytes is refused before decoding. Raises
// EError with libheif's message.
TBitmap24 DecodeHeif(std::span<const std::uint8_t> bytes);

} // namespace tevrin
