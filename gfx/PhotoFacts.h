// SPDX-License-Identifier: MIT
// What a photo says of itself beyond its pixels: when it was taken and its
// own title, read from its Exif, XMP and IPTC metadata (JPEG, PNG, WebP and
// HEIC alike) where this build has the metadata library.
#pragma once

#include "base/System.h"
#include "gfx/Exif.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace tevrin {

struct TPhotoFacts {
    // Exif DateTimeOriginal, else DateTimeDigitized.
    std::optional<TDateTime> Taken;
    // The first of Exif ImageDescription, XMP dc:title, XMP dc:description
    // and IPTC Caption that holds more than blanks, as UTF-8; empty when
    // none does.
    std::string Title;
};

// Never raises: metadata that cannot be read gives no facts.
TPhotoFacts ReadPhotoFacts(std::span<const std::uint8_t> bytes);

} // namespace tevrin
