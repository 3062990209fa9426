// SPDX-License-Identifier: MIT
#include "gfx/Resample.h"

#include "gfx/Compose.h"
#include "gfx/Copy.h"
#include "gfx/Cpu.h"
#include "gfx/Exif.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

#if defined(__GNUC__) && defined(__x86_64__)
#include <immintrin.h>
#endif

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
    case TResampleFilter::Lanczos2:
        return x < 2 ? Sinc(x) * Sinc(x / 2) : 0;
    }
    return 0;
}

double Radius(TResampleFilter filter) {
    return filter == TResampleFilter::Triangle ? 1 : 2;
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
    axis.Stride = (static_cast<int>(std::ceil(2 * support)) + 3 + 3) & ~3;
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
        // Zero weights at the ends cost time and add nothing.
        int skip = 0;
        while (skip < count - 1 && out[skip] == 0)
            ++skip;
        int used = count - skip;
        while (used > 1 && out[skip + used - 1] == 0)
            --used;
        if (skip > 0) std::memmove(out, out + skip, sizeof(std::int16_t) * used);
        std::fill(out + used, out + axis.Stride, 0);
        axis.First[i] = first + skip;
        axis.Count[i] = used;
    }
    return axis;
}

std::uint8_t Clamp8(int value) {
    value = (value + (1 << (kBits - 1))) >> kBits;
    return static_cast<std::uint8_t>(value < 0 ? 0 : value > 255 ? 255 : value);
}

// The pass across: one row. `src` holds the row's pixels contiguously with
// kSpare bytes after them, for groups of taps read whole; each output pixel
// is written as four bytes, the fourth overwritten by the next pixel, so
// `out` has a byte to spare.
void AcrossPlain(const std::uint8_t* src, std::uint8_t* out, const TAxis& axis) {
    const int n = static_cast<int>(axis.First.size());
    for (int i = 0; i < n; ++i) {
        const std::uint8_t* p = src + axis.First[i] * 3;
        const std::int16_t* w = &axis.Weights[static_cast<std::size_t>(i) * axis.Stride];
        int b = 0, g = 0, r = 0;
        for (int k = 0; k < axis.Count[i]; ++k, p += 3) {
            b += w[k] * p[0];
            g += w[k] * p[1];
            r += w[k] * p[2];
        }
        out[i * 3] = Clamp8(b);
        out[i * 3 + 1] = Clamp8(g);
        out[i * 3 + 2] = Clamp8(r);
    }
}

// The pass down: one row from `count` rows `stride` bytes apart, each
// `bytes` long and contiguous, weighted by `w`.
void DownPlain(const std::uint8_t* top, std::ptrdiff_t stride, std::size_t bytes,
               const std::int16_t* w, int count, std::uint8_t* out, std::size_t from = 0) {
    for (std::size_t j = from; j < bytes; ++j) {
        int sum = 0;
        for (int k = 0; k < count; ++k)
            sum += w[k] * top[k * stride + j];
        out[j] = Clamp8(sum);
    }
}

#if defined(__GNUC__) && defined(__x86_64__)
// Across, four taps at a time: sixteen bytes shuffled into four pixels'
// blues, greens and reds, one multiply-add per channel pair against the
// four weights, the pairs added at the end. Weights past a pixel's count
// are 0 and the axis's stride is a multiple of four, so every group is
// whole. With AVX2 two output pixels share each instruction, one per half.
__attribute__((target("avx2"))) void AcrossAvx2(const std::uint8_t* src, std::uint8_t* out,
                                                const TAxis& axis) {
    const __m256i zero = _mm256_setzero_si256();
    const __m128i half = _mm_setr_epi32(1 << (kBits - 1), 1 << (kBits - 1), 1 << (kBits - 1), 0);
    const __m256i channels = _mm256_setr_epi8(0, 3, 6, 9, 1, 4, 7, 10, 2, 5, 8, 11, -1, -1, -1, -1,
                                              0, 3, 6, 9, 1, 4, 7, 10, 2, 5, 8, 11, -1, -1, -1, -1);
    const int n = static_cast<int>(axis.First.size());
    int i = 0;
    for (; i + 1 < n; i += 2) {
        const std::uint8_t* p0 = src + axis.First[i] * 3;
        const std::uint8_t* p1 = src + axis.First[i + 1] * 3;
        const std::int16_t* w0 = &axis.Weights[static_cast<std::size_t>(i) * axis.Stride];
        const std::int16_t* w1 = w0 + axis.Stride;
        const int count = std::max(axis.Count[i], axis.Count[i + 1]);
        __m256i blue_green = zero, red = zero;
        for (int k = 0; k < count; k += 4, p0 += 12, p1 += 12) {
            const __m256i pixels = _mm256_loadu2_m128i(reinterpret_cast<const __m128i*>(p1),
                                                       reinterpret_cast<const __m128i*>(p0));
            const __m256i grouped = _mm256_shuffle_epi8(pixels, channels);
            std::int64_t a, b;
            std::memcpy(&a, w0 + k, 8);
            std::memcpy(&b, w1 + k, 8);
            const __m256i weights = _mm256_setr_epi64x(a, a, b, b);
            blue_green = _mm256_add_epi32(
                blue_green, _mm256_madd_epi16(_mm256_unpacklo_epi8(grouped, zero), weights));
            red = _mm256_add_epi32(red,
                                   _mm256_madd_epi16(_mm256_unpackhi_epi8(grouped, zero), weights));
        }
        const __m256i sums = _mm256_hadd_epi32(blue_green, red); // per half: b, g, r, 0
        const __m128i first = _mm_add_epi32(_mm256_castsi256_si128(sums), half);
        const __m128i second = _mm_add_epi32(_mm256_extracti128_si256(sums, 1), half);
        const __m128i both =
            _mm_packs_epi32(_mm_srai_epi32(first, kBits), _mm_srai_epi32(second, kBits));
        const __m128i bytes = _mm_packus_epi16(both, both);
        std::int64_t v;
        std::memcpy(&v, &bytes, 8);
        std::memcpy(out + i * 3, &v, 3);
        const std::int32_t second_pixel = static_cast<std::int32_t>(v >> 32);
        std::memcpy(out + i * 3 + 3, &second_pixel, 4);
    }
    _mm256_zeroupper();
    if (i < n) {
        TAxis last;
        last.First = {axis.First[i]};
        last.Count = {axis.Count[i]};
        last.Stride = axis.Stride;
        last.Weights.assign(axis.Weights.begin() + static_cast<std::ptrdiff_t>(i) * axis.Stride,
                            axis.Weights.begin() +
                                static_cast<std::ptrdiff_t>(i + 1) * axis.Stride);
        AcrossPlain(src, out + i * 3, last);
    }
}

// Down, thirty-two bytes and two rows at a time: the rows' bytes
// interleaved as 16-bit pairs, one multiply-add per pair of weights. The
// unpacking and packing both work within each half, so their orders cancel.
__attribute__((target("avx2"))) void DownAvx2(const std::uint8_t* top, std::ptrdiff_t stride,
                                              std::size_t bytes, const std::int16_t* w, int count,
                                              std::uint8_t* out) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i half = _mm256_set1_epi32(1 << (kBits - 1));
    std::size_t j = 0;
    for (; j + 32 <= bytes; j += 32) {
        __m256i sum[4] = {half, half, half, half};
        for (int k = 0; k < count; k += 2) {
            const __m256i a =
                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(top + k * stride + j));
            const __m256i b = k + 1 < count ? _mm256_loadu_si256(reinterpret_cast<const __m256i*>(
                                                  top + (k + 1) * stride + j))
                                            : zero;
            const std::int16_t wb = k + 1 < count ? w[k + 1] : 0;
            const __m256i weights =
                _mm256_set1_epi32(static_cast<std::uint16_t>(w[k]) |
                                  static_cast<std::uint32_t>(static_cast<std::uint16_t>(wb)) << 16);
            const __m256i a_lo = _mm256_unpacklo_epi8(a, zero),
                          a_hi = _mm256_unpackhi_epi8(a, zero);
            const __m256i b_lo = _mm256_unpacklo_epi8(b, zero),
                          b_hi = _mm256_unpackhi_epi8(b, zero);
            sum[0] = _mm256_add_epi32(
                sum[0], _mm256_madd_epi16(_mm256_unpacklo_epi16(a_lo, b_lo), weights));
            sum[1] = _mm256_add_epi32(
                sum[1], _mm256_madd_epi16(_mm256_unpackhi_epi16(a_lo, b_lo), weights));
            sum[2] = _mm256_add_epi32(
                sum[2], _mm256_madd_epi16(_mm256_unpacklo_epi16(a_hi, b_hi), weights));
            sum[3] = _mm256_add_epi32(
                sum[3], _mm256_madd_epi16(_mm256_unpackhi_epi16(a_hi, b_hi), weights));
        }
        const __m256i lo =
            _mm256_packs_epi32(_mm256_srai_epi32(sum[0], kBits), _mm256_srai_epi32(sum[1], kBits));
        const __m256i hi =
            _mm256_packs_epi32(_mm256_srai_epi32(sum[2], kBits), _mm256_srai_epi32(sum[3], kBits));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + j), _mm256_packus_epi16(lo, hi));
    }
    _mm256_zeroupper();
    DownPlain(top, stride, bytes, w, count, out, j);
}

using TAcross = void (*)(const std::uint8_t*, std::uint8_t*, const TAxis&);
using TDown = void (*)(const std::uint8_t*, std::ptrdiff_t, std::size_t, const std::int16_t*, int,
                       std::uint8_t*);
// Chosen during static initialisation, which may run before the compiler's
// own processor detection has.
const bool kHaveAvx2 = CpuHasAvx2();
const TAcross kAcross = kHaveAvx2 ? AcrossAvx2 : AcrossPlain;
const TDown kDown = kHaveAvx2
                        ? TDown{DownAvx2}
                        : [](const std::uint8_t* top, std::ptrdiff_t stride, std::size_t bytes,
                             const std::int16_t* w, int count,
                             std::uint8_t* out) { DownPlain(top, stride, bytes, w, count, out); };
#else
constexpr auto kAcross = AcrossPlain;
const auto kDown = [](const std::uint8_t* top, std::ptrdiff_t stride, std::size_t bytes,
                      const std::int16_t* w, int count,
                      std::uint8_t* out) { DownPlain(top, stride, bytes, w, count, out); };
#endif

// The same for pixels `step` bytes apart within a row (a turned picture).
void ScaleDownStrided(const std::uint8_t* top, std::ptrdiff_t stride, std::ptrdiff_t step,
                      int pixels, const std::int16_t* w, int count, std::uint8_t* out) {
    for (int x = 0; x < pixels; ++x, top += step, out += 3) {
        int b = 0, g = 0, r = 0;
        const std::uint8_t* p = top;
        for (int k = 0; k < count; ++k, p += stride) {
            b += w[k] * p[0];
            g += w[k] * p[1];
            r += w[k] * p[2];
        }
        out[0] = Clamp8(b);
        out[1] = Clamp8(g);
        out[2] = Clamp8(r);
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
    // A row of `w` 3-byte pixels into row y of `dst`, in its pixels.
    const bool wide = dst.PixelBytes() == 4;
    auto put = [&](int y, const std::uint8_t* row) {
        if (wide)
            WidenPixels(row, dst.Row(y) + x0 * 4, w);
        else
            std::memcpy(dst.Row(y) + x0 * 3, row, static_cast<std::size_t>(w) * 3);
    };
    if (full_w == view.Width && full_h == view.Height) {
        std::vector<std::uint8_t> gathered;
        for (int y = y0; y < y1; ++y) {
            const std::uint8_t* in = base + (y - at_y) * view.StepY + (x0 - at_x) * view.StepX;
            if (view.StepX == 3) {
                put(y, in);
                continue;
            }
            gathered.resize(static_cast<std::size_t>(w) * 3);
            std::uint8_t* out = gathered.data();
            for (int x = 0; x < w; ++x, out += 3, in += view.StepX) {
                out[0] = in[0];
                out[1] = in[1];
                out[2] = in[2];
            }
            put(y, gathered.data());
        }
        return;
    }
    TAxis across = MakeAxis(filter, view.Width, full_w, x0 - at_x, x1 - at_x);
    const TAxis down = MakeAxis(filter, view.Height, full_h, y0 - at_y, y1 - at_y);

    // Down first, then across: the costlier pass across then runs over the
    // output's rows only. The source columns the output needs:
    int col0 = across.First.front(), col1 = col0;
    for (std::size_t i = 0; i < across.First.size(); ++i) {
        col0 = std::min(col0, across.First[i]);
        col1 = std::max(col1, across.First[i] + across.Count[i]);
    }
    const std::size_t bytes = static_cast<std::size_t>(col1 - col0) * 3;
    for (int& first : across.First)
        first -= col0;
    // The row scaled down, and room for the whole groups of taps the pass
    // across reads past it.
    std::vector<std::uint8_t> column(bytes + static_cast<std::size_t>(across.Stride) * 3 + 32);
    std::vector<std::uint8_t> across_out(static_cast<std::size_t>(w) * 3 + 4);
    for (int y = y0; y < y1; ++y) {
        const int i = y - y0;
        const std::int16_t* weights = &down.Weights[static_cast<std::size_t>(i) * down.Stride];
        const std::uint8_t* top = base + down.First[i] * view.StepY + col0 * view.StepX;
        if (view.StepX == 3) {
            kDown(top, view.StepY, bytes, weights, down.Count[i], column.data());
        } else {
            ScaleDownStrided(top, view.StepY, view.StepX, col1 - col0, weights, down.Count[i],
                             column.data());
        }
        // Across into a row of its own: the spare byte must not reach the
        // next row of `dst`.
        kAcross(column.data(), across_out.data(), across);
        put(y, across_out.data());
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
