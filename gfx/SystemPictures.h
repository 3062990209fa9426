// SPDX-License-Identifier: MIT
// Pictures the system decodes itself, for formats the runtime's own
// libraries do not read: on Windows through its imaging component (WIC),
// as far as the system has a codec for the format (HEIC with the HEIF
// extensions). Built only where the system has such a component
// (TEVRIN_HAVE_SYSTEM_PICTURES); its half lives under platform/.
#pragma once

#include "gfx/Bitmap24.h"

#include <cstdint>
#include <optional>
#include <span>

namespace tevrin {

// The first frame, as 24-bit pixels; nothing when no codec of the system
// takes the bytes. Raises EError for a picture too large to decode.
// Callable on any thread.
std::optional<TBitmap24> DecodeWithSystem(std::span<const std::uint8_t> bytes);

} // namespace tevrin
