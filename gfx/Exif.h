// SPDX-License-Identifier: MIT
// The Exif facts the show reads itself: how the camera held the picture,
// and for captions made at run time when it was taken and its description.
#pragma once

#include "base/System.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tevrin {

// The Exif orientations: how the stored pixels are turned against the scene.
// 1 upright; 2 mirrored left to right; 3 turned half round; 4 mirrored top to
// bottom; 5 mirrored along the main diagonal; 6 to be turned a quarter
// clockwise to stand upright; 7 mirrored along the other diagonal; 8 to be
// turned a quarter anticlockwise. 5 to 8 swap width and height.
inline constexpr int kOrientationUpright = 1;

// The orientation an APP1 segment's payload (from "Exif\0\0" on) records, or
// 1 when it records none, is no Exif block or is damaged anywhere on the way
// to the value: a broken block never keeps a picture from being shown.
int ExifOrientation(std::span<const std::uint8_t> app1);

// The texts an Exif block (from "Exif\0\0" on) gives captions: when the
// photo was taken (DateTimeOriginal, else DateTimeDigitized, as written)
// and its ImageDescription, blanks trimmed. Empty where the block has none,
// is damaged on the way to it, or is no Exif block.
struct TExifText {
    std::string Taken;
    std::string Description;
};
TExifText ReadExifText(std::span<const std::uint8_t> app1);

// An Exif date ("YYYY:MM:DD HH:MM:SS", also with '-' between the date's
// parts); nothing when it is no valid date.
std::optional<TDateTime> ParseExifDate(std::string_view text);

// The Exif block of a JPEG file, from "Exif\0\0" on; empty when it has none
// before its image data.
std::span<const std::uint8_t> JpegExifBlock(std::span<const std::uint8_t> jpeg);

// `jpeg` with an Exif block recording `orientation` put right after its
// start-of-image marker, as a camera writes it (TIFF data in the byte order
// asked for).
std::vector<std::uint8_t> WithExifOrientation(std::span<const std::uint8_t> jpeg, int orientation,
                                              bool big_endian = false);

// True for the orientations that swap width and height.
constexpr bool SwapsAxes(int orientation) {
    return orientation >= 5 && orientation <= 8;
}

} // namespace tevrin
