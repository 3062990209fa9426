// SPDX-License-Identifier: MIT
// Feeds arbitrary bytes to the Exif reader as the payload of an APP1
// segment; whatever it reads must be one of the eight orientations, and its
// texts for captions never longer than the block.
#include "gfx/Exif.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tevrin;
    const int orientation = ExifOrientation({data, size});
    if (orientation < 1 || orientation > 8) std::abort();
    const TExifText text = ReadExifText({data, size});
    if (text.Taken.size() > size || text.Description.size() > size) std::abort();
    return 0;
}
