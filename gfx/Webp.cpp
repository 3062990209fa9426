// SPDX-License-Identifier: MIT
#include "gfx/Webp.h"

#include "base/Errors.h"
#include "gfx/DecodeBudget.h"

#include <string>
#include <webp/decode.h>

namespace tevrin {

TBitmap24 DecodeWebp(std::span<const std::uint8_t> bytes) {
    WebPBitstreamFeatures features;
    if (WebPGetFeatures(bytes.data(), bytes.size(), &features) != VP8_STATUS_OK)
        throw EError("WebP: not a readable WebP file");
    if (features.has_animation) throw EError(msg::kAnimatedPicture, {"WebP"});
    const int w = features.width, h = features.height;
    const std::uint64_t pixels = static_cast<std::uint64_t>(w) * static_cast<std::uint64_t>(h);
    if (w <= 0 || h <= 0 || pixels * 4 > kMaxPictureBytes)
        throw EError(msg::kImageTooLarge, {"WebP", std::to_string(w) + "x" + std::to_string(h)});
    CheckDataCoversPixels(bytes.size(), "WebP", w, h);
    // Our picture; a lossless one is decoded whole into libwebp's own 32-bit
    // pixels first, and transparency takes a BGRA copy and an alpha plane.
    // (format 1 is lossy; 2 lossless, 0 either.)
    const std::uint64_t library = (features.format != 1 ? 4 * pixels : 0) +
                                  (features.has_alpha ? 5 * pixels : 0) +
                                  static_cast<std::uint64_t>(w) * 64 + (4 << 20);
    const TDecodeReservation reservation(pixels * 3 + static_cast<std::uint64_t>(h) * 4 + library,
                                         "WebP", w, h);
    TBitmap24 out(w, h);
    if (!features.has_alpha) {
        if (WebPDecodeBGRInto(bytes.data(), bytes.size(), out.Bits(), out.ByteSize(),
                              out.Stride()) == nullptr)
            throw EError("WebP: the picture's data is damaged");
        return out;
    }
    int got_w = 0, got_h = 0;
    std::uint8_t* bgra = WebPDecodeBGRA(bytes.data(), bytes.size(), &got_w, &got_h);
    if (bgra == nullptr || got_w != w || got_h != h) {
        WebPFree(bgra);
        throw EError("WebP: the picture's data is damaged");
    }
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* in = bgra + static_cast<std::size_t>(y) * w * 4;
        std::uint8_t* row = out.Row(y);
        for (int x = 0; x < w; ++x, in += 4)
            for (int k = 0; k < 3; ++k)
                row[x * 3 + k] = static_cast<std::uint8_t>((in[k] * in[3] + 127) / 255);
    }
    WebPFree(bgra);
    return out;
}

} // namespace tevrin
