// SPDX-License-Identifier: MIT
// Drawing a picture at a fractional position and a scale near its own, with
// bilinear filtering: for pictures that move by fractions of a pixel from
// one frame to the next.
#pragma once

#include "gfx/Bitmap24.h"
#include "gfx/Rect.h"

#include <cstdint>

namespace tevrin {

// A picture kept for filtered drawing: a bitmap of our own layout with
// room right of and below the picture for whole-register loads past its
// last pixels.
class TBilinearSource {
public:
    TBilinearSource() = default;
    // A black picture of width x height, to draw into through Pixels().
    TBilinearSource(int width, int height);
    explicit TBilinearSource(const TBitmap24& picture);

    int Width() const { return width_; }
    int Height() const { return height_; }
    bool Empty() const { return width_ == 0 || height_ == 0; }
    // The picture is its first Width() columns and Height() rows; what is
    // drawn past them is never shown.
    TBitmap24& Pixels() { return pixels_; }
    const std::uint8_t* Row(int y) const { return pixels_.Row(y); }
    std::size_t ByteSize() const { return pixels_.ByteSize(); }

    // Pixels readable past a row's last one.
    static constexpr int kRowRoom = 22;

private:
    int width_ = 0, height_ = 0;
    TBitmap24 pixels_;
};

// Where the pixels of a destination rectangle sample the source: pixel
// (x, y) of `area` takes the source at (X0 + (x - area.Left) * StepX,
// Y0 + (y - area.Top) * StepY), in source pixels whose centres are whole
// numbers. Samples outside the source take its nearest edge.
struct TBilinearMap {
    TRect Area;
    double X0 = 0, StepX = 1, Y0 = 0, StepY = 1;
};

// The processor's vector paths a filter may take where it has them; every
// path gives the same pixels.
enum class TVectorPaths { None, Avx2, All };

// Draws the samples of `map` into its area of `dst` (clipped to `dst`, of
// either pixel size; a 4-byte pixel's unused byte becomes 0), each the
// weighted mean of the two source pixels across around it, then of the two
// such rows around it, weights in 128ths and each mean rounded to a byte.
// The result is the same on every processor.
void DrawBilinear(TBitmap24& dst, const TBilinearSource& src, const TBilinearMap& map,
                  TVectorPaths paths = TVectorPaths::All);

} // namespace tevrin
