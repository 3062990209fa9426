// SPDX-License-Identifier: MIT
// Picture files of every format the tools take: told apart by their first
// bytes, decoded upright.
#pragma once

#include "gfx/Bitmap24.h"
#include "gfx/Compose.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tevrin {

enum class TPictureFormat { Unknown, Jpeg, Png, Webp, Heif };

TPictureFormat SniffPictureFormat(std::span<const std::uint8_t> bytes);
std::string_view PictureFormatName(TPictureFormat format);
// Whether this build reads the format (WebP and HEIF depend on libraries
// that not every build has).
bool CanReadPictureFormat(TPictureFormat format);

// Whether a file of a folder counts as a picture, by its extension.
bool HasPictureExtension(std::string_view file_name);

// The picture as the scene stood: a JPEG's Exif orientation is applied,
// HEIF's own transformations too, and HEIF's colour box (converted to
// sRGB; the other formats' profiles are left to the caller,
// ToSrgbAsEmbedded). With a minimum size a JPEG is decoded
// scaled down by the DCT where that still covers it (in upright axes).
// Raises EError naming what is wrong.
TBitmap24 DecodeUpright(std::span<const std::uint8_t> bytes, int min_width = 0, int min_height = 0);

// The picture's Exif block from "Exif\0\0" on (a JPEG's APP1, PNG's eXIf,
// WebP's EXIF, HEIF's Exif item where the build reads HEIF); empty when it
// has none or the file is cut short before it.
std::vector<std::uint8_t> PictureExif(std::span<const std::uint8_t> bytes);

// The name of the colour profile other than sRGB's the picture carries,
// whose colours a decode here converts ("?" for one without a name); empty
// for sRGB, none, or one this build does not read.
std::string OtherColoursOf(std::span<const std::uint8_t> bytes);

// A picture file as a show takes it: a JPEG as it is, any other format
// decoded upright, in sRGB's colours. Raises EError naming what is wrong.
TShowPicture ReadShowPicture(std::vector<std::uint8_t> bytes);

} // namespace tevrin
