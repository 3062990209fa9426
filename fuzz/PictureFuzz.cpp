// SPDX-License-Identifier: MIT
// Feeds arbitrary bytes to the pack's preparation of a picture: the
// decoders the tools use (JPEG, PNG, WebP, HEIF, told apart by their first
// bytes), the colour profile reader and its conversion. Each picture is
// either refused with an error or stored as a JPEG within the limits, and
// the decode budget is always returned.
#include "base/Errors.h"
#include "gfx/ColorProfile.h"
#include "gfx/DecodeBudget.h"
#include "gfx/Jpeg.h"
#include "gfx/Prepare.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tevrin;
    TPictureLimits limits;
    limits.MaxWidth = limits.MaxHeight = 256; // small, so each input is quick
    try {
        const TStoredPicture stored = PreparePicture({data, data + size}, limits);
        const TJpegInfo info = ReadJpegInfo(stored.Jpeg.data(), stored.Jpeg.size());
        if (info.Width != stored.Width || info.Height != stored.Height || stored.Width <= 0)
            std::abort();
        // A picture kept as it was may be larger only when it was given so.
        if (stored.Converted && (stored.Width > 256 || stored.Height > 256)) std::abort();
    } catch (const EError&) {
    }
    if (DecodeBudgetInUse() != 0) std::abort();
    return 0;
}
