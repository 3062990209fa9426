// SPDX-License-Identifier: MIT
#include "effects/BitmapHost.h"

#include "effects/Random.h"

namespace tevrin {

TBitmap24 RenderFrame(const TBitmap24& from, const TBitmap24& to, int style, int progress,
                      std::optional<std::uint32_t> seed) {
    if (seed) SetRandSeed(*seed);
    TBitmapFrameHost host(from, to, style);
    host.Draw(progress);
    return host.Take();
}

} // namespace tevrin
