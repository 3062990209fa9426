// SPDX-License-Identifier: MIT
// WebP pictures through libwebp, for the pack tool.
#pragma once

#include "gfx/Bitmap24.h"

#include <cstdint>
#include <span>

namespace tevrin {

// A still WebP picture, lossy or lossless; transparency is composited on
// black. Animations, and pictures whose pixels would take more than
// kMaxPictureBytes, are refused before decoding. Raises EError.
TBitmap24 DecodeWebp(std::span<const std::uint8_t> bytes);

} // namespace tevrin
