#include "gfx/Resample.h"

#include "gfx/Compose.h"
#include "gfx/Copy.h"
#include "gfx/Exif.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

namespace tevrin {
namespace {

// Weights are fixed point with this many fraction bits; every output
// pixel's weights sum to exactly 1 << kBits.
constexpr int kBits = 14;

double Sinc(double x) {
    if (x == 0) return 1;
    x *= std::numbers::pi;
    return std::sin(x) / x;
}

double Kernel(TResampleFilter filter, double x) {
    x = std::abs(x);
    switch (filter) {
    case TResampleFilter::Triangle:
        return x < 1 ? 1 - x : 0;
    case TResampleFilter::Lanczos3:
        return x < 3 ? Sinc(x) * Sinc(x / 3) : 0;
    }
    return 0;
}

double Radius(TResampleFilter filter) {
    return filter == TResampleFilter::Triangle ? 1 : 3;
}

// The source pixels and weights of each output pixel along one axis: output
// pixel i takes source pixels First[i] .. First[i] + Count[i] - 1 with the
// weights at Weights[i * Stride].
struct TAxis {
    std::vector<int> First, Count;
    std::vector<std::int16_t> Weights;
    int Stride = 0;
};

// Output pixels `from` .. `to` - 1 of a source of `source` pixels scaled to
// `full` pixels.
TAxis MakeAxis(TResampleFilter filter, int source, int full, int from, int to) {
    const double scale = static_cast<double>(full) / source;
    // Shrinking widens the kernel over every source pixel an output covers.
    const double widen = std::max(1.0, 1 / scale);
    const double support = Radius(filter) * widen;
    TAxis axis;
    axis.Stride = static_cast<int>(std::ceil(2 * support)) + 3;
    const int n = to - from;
    axis.First.resize(n);
    axis.Count.resize(n);
    axis.Weights.assign(static_cast<std::size_t>(n) * axis.Stride, 0);
    std::vector<double> raw(axis.Stride);
    for (int i = 0; i < n; ++i) {
        const double center = (from + i + 0.5) / scale;
        const int lo = static_cast<int>(std::floor(center - support));
        const int hi = static_cast<int>(std::ceil(center + support));
        // Taps outside the source fold onto its edge pixels.
        const int first = std::clamp(lo, 0, source - 1), last = std::clamp(hi, 0, source - 1);
        std::fill(raw.begin(), raw.end(), 0.0);
        double sum = 0;
        for (int j = lo; j <= hi; ++j) {
            const double w = Kernel(filter, (j + 0.5 - center) / widen);
            raw[std::clamp(j, 0, source - 1) - first] += w;
            sum += w;
        }
        if (sum == 0) { // a tap grid that missed the kernel: the nearest pixel
            raw[std::clamp(static_cast<int>(center), first, last) - first] = 1;
            sum = 1;
        }
        const int count = last - first + 1;
        std::int16_t* out = &axis.Weights[static_cast<std::size_t>(i) * axis.Stride];
        int total = 0, biggest = 0;
        for (int k = 0; k < count; ++k) {
            out[k] = static_cast<std::int16_t>(std::lround(raw[k] / sum * (1 << kBits)));
            total += out[k];
            if (out[k] > out[biggest]) biggest = k;
        }
        out[biggest] = static_cast<std::int16_t>(out[biggest] + (1 << kBits) - total);
        axis.First[i] = first;
        axis.Count[i] = count;
    }
    return axis;
}

std::uint8_t Clamp8(int value) {
    value = (value + (1 << (kBits - 1))) >> kBits;
    return static_cast<std::uint8_t>(value < 0 ? 0 : value > 255 ? 255 : value);
}

// One upright row, whose pixels lie `step` bytes apart from `src` on.
void ScaleRow(const std::uint8_t* src, std::ptrdiff_t step, std::uint8_t* out, const TAxis& axis) {
    const int n = static_cast<int>(axis.First.size());
    for (int i = 0; i < n; ++i) {
        const std::uint8_t* p = src + axis.First[i] * step;
        const std::int16_t* w = &axis.Weights[static_cast<std::size_t>(i) * axis.Stride];
        int b = 0, g = 0, r = 0;
        for (int k = 0; k < axis.Count[i]; ++k, p += step) {
            b += w[k] * p[0];
            g += w[k] * p[1];
            r += w[k] * p[2];
        }
        out[i * 3] = Clamp8(b);
        out[i * 3 + 1] = Clamp8(g);
        out[i * 3 + 2] = Clamp8(r);
    }
}

} // namespace

void DrawScaled(TBitmap24& dst, int at_x, int at_y, int full_w, int full_h, const TBitmap24& src,
                int orientation, TResampleFilter filter) {
    if (src.Empty() || full_w <= 0 || full_h <= 0) return;
    const TUprightView view = UprightView(src, orientation);
    const std::uint8_t* base = src.Bits() + view.Origin;
    const int x0 = std::max(at_x, 0),
              x1 = std::min<long long>(at_x + static_cast<long long>(full_w), dst.Width());
    const int y0 = std::max(at_y, 0),
              y1 = std::min<long long>(at_y + static_cast<long long>(full_h), dst.Height());
    if (x0 >= x1 || y0 >= y1) return;
    const int w = x1 - x0;
    if (full_w == view.Width && full_h == view.Height) {
        for (int y = y0; y < y1; ++y) {
            const std::uint8_t* in = base + (y - at_y) * view.StepY + (x0 - at_x) * view.StepX;
            std::uint8_t* out = dst.Row(y) + x0 * 3;
            if (view.StepX == 3) {
                std::memcpy(out, in, static_cast<std::size_t>(w) * 3);
                continue;
            }
            for (int x = 0; x < w; ++x, out += 3, in += view.StepX) {
                out[0] = in[0];
                out[1] = in[1];
                out[2] = in[2];
            }
        }
        return;
    }
    const TAxis across = MakeAxis(filter, view.Width, full_w, x0 - at_x, x1 - at_x);
    const TAxis down = MakeAxis(filter, view.Height, full_h, y0 - at_y, y1 - at_y);

    // Rows scaled across, each source row once: the windows of successive
    // output rows move only forward, so a ring as deep as the widest window
    // holds every row one output row needs.
    const int depth = *std::max_element(down.Count.begin(), down.Count.end());
    const std::size_t row_bytes = static_cast<std::size_t>(w) * 3;
    std::vector<std::uint8_t> ring(row_bytes * depth);
    std::vector<int> ring_row(depth, -1);
    std::vector<int> sums(row_bytes);
    for (int y = y0; y < y1; ++y) {
        const int i = y - y0;
        const int first = down.First[i], count = down.Count[i];
        const std::int16_t* weights = &down.Weights[static_cast<std::size_t>(i) * down.Stride];
        std::fill(sums.begin(), sums.end(), 0);
        for (int k = 0; k < count; ++k) {
            const int row = first + k, slot = row % depth;
            std::uint8_t* scaled = &ring[static_cast<std::size_t>(slot) * row_bytes];
            if (ring_row[slot] != row) {
                ScaleRow(base + row * view.StepY, view.StepX, scaled, across);
                ring_row[slot] = row;
            }
            const int weight = weights[k];
            int* sum = sums.data();
            for (std::size_t j = 0; j < row_bytes; ++j)
                sum[j] += weight * scaled[j];
        }
        std::uint8_t* out = dst.Row(y) + x0 * 3;
        for (std::size_t j = 0; j < row_bytes; ++j)
            out[j] = Clamp8(sums[j]);
    }
}

void DrawBackdrop(TBitmap24& dst, const TBitmap24& src, int orientation) {
    if (dst.Empty() || src.Empty()) return;
    const TUprightView view = UprightView(src, orientation);
    // Built small, blurred there, and stretched smoothly over the screen.
    constexpr int kShrink = 16;
    const int sw = std::max(1, dst.Width() / kShrink), sh = std::max(1, dst.Height() / kShrink);
    TBitmap24 small(sw, sh);
    const TRect cover = PlacePicture(view.Width, view.Height, sw, sh, TFitMode::fmFill);
    DrawScaled(small, cover.Left, cover.Top, cover.Width(), cover.Height(), src, orientation,
               TResampleFilter::Triangle);

    // Three box blurs approach a Gaussian; edges repeat.
    const int radius = std::max(1, std::min(sw, sh) / 10);
    std::vector<int> line;
    auto blur = [&](int n, auto at) {
        line.resize(static_cast<std::size_t>(n));
        for (int c = 0; c < 3; ++c) {
            for (int i = 0; i < n; ++i)
                line[i] = *at(i, c);
            int sum = 0;
            for (int k = -radius; k <= radius; ++k)
                sum += line[std::clamp(k, 0, n - 1)];
            for (int i = 0; i < n; ++i) {
                *at(i, c) = static_cast<std::uint8_t>(sum / (2 * radius + 1));
                sum += line[std::min(i + radius + 1, n - 1)] - line[std::max(i - radius, 0)];
            }
        }
    };
    for (int pass = 0; pass < 3; ++pass) {
        for (int y = 0; y < sh; ++y)
            blur(sw, [&](int i, int c) { return small.Row(y) + i * 3 + c; });
        for (int x = 0; x < sw; ++x)
            blur(sh, [&](int i, int c) { return small.Row(i) + x * 3 + c; });
    }
    for (int y = 0; y < sh; ++y)
        for (int x = 0; x < sw * 3; ++x)
            small.Row(y)[x] = static_cast<std::uint8_t>(small.Row(y)[x] * 9 / 20);
    DrawScaled(dst, 0, 0, dst.Width(), dst.Height(), small, kOrientationUpright,
               TResampleFilter::Triangle);
}

} // namespace tevrin
