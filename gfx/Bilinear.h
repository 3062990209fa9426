// SPDX-License-Identifier: MIT
// Drawing a picture at a fractional position and a scale near its own, with
// bilinear filtering: for pictures that move by fractions of a pixel from
// one frame to the next.
#pragma once

#include "gfx/Bitmap24.h"
#include "gfx/Rect.h"

#include <cstdint>
#include <vector>

namespace tevrin {

// A picture kept for filtered drawing: 32-bit pixels (blue, green, red,
// unused), each row followed by room for whole-register loads past its end.
class TBilinearSource {
public:
    TBilinearSource() = default;
    explicit TBilinearSource(const TBitmap24& picture);

    int Width() const { return width_; }
    int Height() const { return height_; }
    bool Empty() const { return width_ == 0 || height_ == 0; }
    const std::uint32_t* Row(int y) const {
        return pixels_.data() + static_cast<std::size_t>(y) * stride_;
    }
    std::size_t ByteSize() const { return pixels_.size() * sizeof(std::uint32_t); }

    // Pixels readable past a row's last one.
    static constexpr int kRowRoom = 16;

private:
    int width_ = 0, height_ = 0, stride_ = 0;
    std::vector<std::uint32_t> pixels_;
};

// Where the pixels of a destination rectangle sample the source: pixel
// (x, y) of `area` takes the source at (X0 + (x - area.Left) * StepX,
// Y0 + (y - area.Top) * StepY), in source pixels whose centres are whole
// numbers. Samples outside the source take its nearest edge.
struct TBilinearMap {
    TRect Area;
    double X0 = 0, StepX = 1, Y0 = 0, StepY = 1;
};

// Draws the samples of `map` into its area of `dst` (clipped to `dst`),
// each the weighted mean of the four source pixels around it, weights in
// 256ths. The result is the same on every processor.
void DrawBilinear(TBitmap24& dst, const TBilinearSource& src, const TBilinearMap& map);
// The same without the processor's vector paths, which must give the same.
void DrawBilinearPlain(TBitmap24& dst, const TBilinearSource& src, const TBilinearMap& map);

} // namespace tevrin
