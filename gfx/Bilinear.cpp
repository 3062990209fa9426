// SPDX-License-Identifier: MIT
#include "gfx/Bilinear.h"

#include "gfx/Cpu.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#ifdef TEVRIN_X86_PATHS
#include <immintrin.h>
#endif

namespace tevrin {
namespace {

constexpr int kOne = 256; // weights are 256ths
// Pixels filtered at a time by the vector path.
constexpr int kGroup = 8;

// The source pixel at or left of `at` and the weight of the one after it.
void Sample(double at, int size, int& index, int& weight) {
    at = std::clamp(at, 0.0, static_cast<double>(size - 1));
    index = static_cast<int>(at);
    weight = static_cast<int>(std::lround((at - index) * kOne));
    if (weight == kOne) ++index, weight = 0;
    if (index >= size - 1) index = size - 1, weight = 0;
}

// Where each destination column samples: per pixel, and per group of
// kGroup pixels for the vector path (each group's pixels as offsets from
// its first source pixel, and its weights spread over the channels).
struct TColumns {
    std::vector<int> Index, Weight;
    int Groups = 0;
    std::vector<int> Base;
    std::vector<std::uint8_t> Offsets;  // of the left pixels, kGroup each
    std::vector<std::uint32_t> Weights; // the right pixels', twice in 16 bits
};

// A source row filtered across: four 16-bit channels a pixel (the fourth
// 0), each the two neighbours weighted, in 256ths of the 8-bit value.
void AcrossPlain(const std::uint8_t* row, const TColumns& c, int from, int to, std::uint16_t* out) {
    for (int k = from; k < to; ++k) {
        const std::uint8_t* a = row + c.Index[k] * 3;
        const std::uint32_t w = static_cast<std::uint32_t>(c.Weight[k]), keep = kOne - w;
        for (int ch = 0; ch < 3; ++ch)
            out[k * 4 + ch] = static_cast<std::uint16_t>(a[ch] * keep + a[ch + 3] * w);
        out[k * 4 + 3] = 0;
    }
}

// Two filtered rows blended down into pixels of `bytes` bytes (3: blue,
// green, red; 4: and the unused byte).
inline std::uint8_t Down(std::uint32_t a, std::uint32_t b, std::uint32_t keep, std::uint32_t w) {
    return static_cast<std::uint8_t>((((a * keep) >> 8) + ((b * w) >> 8) + 128) >> 8);
}

template <int kBytes>
void DownPlain(const std::uint16_t* upper, const std::uint16_t* lower, int wy, int from, int to,
               std::uint8_t* out) {
    const std::uint32_t w = static_cast<std::uint32_t>(wy), keep = kOne - w;
    for (int k = from; k < to; ++k)
        for (int ch = 0; ch < kBytes; ++ch)
            out[k * kBytes + ch] = Down(upper[k * 4 + ch], lower[k * 4 + ch], keep, w);
}

#ifdef TEVRIN_X86_PATHS
// The pixels at `at` (0 to 15) of the sixteen in `lo` and `hi`.
__attribute__((target("avx2"))) inline __m256i Pick(__m256i lo, __m256i hi, __m256i at) {
    return _mm256_blendv_epi8(_mm256_permutevar8x32_epi32(lo, at),
                              _mm256_permutevar8x32_epi32(hi, at),
                              _mm256_cmpgt_epi32(at, _mm256_set1_epi32(7)));
}

// Eight 3-byte pixels from `p` as 32-bit ones (the fourth byte 0); reads
// 32 bytes.
__attribute__((target("avx2"))) inline __m256i Widened(const std::uint8_t* p) {
    const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    // Pixels 0-3 to the low lane, 4-7 (from byte 12) to the high one.
    const __m256i lanes =
        _mm256_permutevar8x32_epi32(bytes, _mm256_setr_epi32(0, 1, 2, 3, 3, 4, 5, 6));
    const __m256i spread = _mm256_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1, 0,
                                            1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    return _mm256_shuffle_epi8(lanes, spread);
}

__attribute__((target("avx2"))) void AcrossAvx2(const std::uint8_t* row, const TColumns& c,
                                                std::uint16_t* out) {
    const __m256i one = _mm256_set1_epi32(1), full = _mm256_set1_epi16(kOne);
    // Each pixel's weight over its four channels, pixels 0-3 and 4-7.
    const __m256i spread[2] = {_mm256_setr_epi32(0, 0, 1, 1, 2, 2, 3, 3),
                               _mm256_setr_epi32(4, 4, 5, 5, 6, 6, 7, 7)};
    for (int g = 0; g < c.Groups; ++g) {
        const std::uint8_t* p = row + c.Base[g] * 3;
        const __m256i lo = Widened(p), hi = Widened(p + 24);
        const __m256i at = _mm256_cvtepu8_epi32(
            _mm_loadl_epi64(reinterpret_cast<const __m128i*>(&c.Offsets[g * kGroup])));
        const __m256i left = Pick(lo, hi, at), right = Pick(lo, hi, _mm256_add_epi32(at, one));
        const __m256i weights =
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(&c.Weights[g * kGroup]));
        for (int half = 0; half < 2; ++half) {
            const __m128i l =
                half == 0 ? _mm256_castsi256_si128(left) : _mm256_extracti128_si256(left, 1);
            const __m128i r =
                half == 0 ? _mm256_castsi256_si128(right) : _mm256_extracti128_si256(right, 1);
            const __m256i w = _mm256_permutevar8x32_epi32(weights, spread[half]);
            const __m256i keep = _mm256_sub_epi16(full, w);
            const __m256i sum = _mm256_add_epi16(_mm256_mullo_epi16(_mm256_cvtepu8_epi16(l), keep),
                                                 _mm256_mullo_epi16(_mm256_cvtepu8_epi16(r), w));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + (g * kGroup + half * 4) * 4), sum);
        }
    }
}

// Blends kGroup pixels at a time while a whole group and the four bytes a
// 16-byte store writes past it lie inside [0, to); returns where it stopped.
template <int kBytes>
__attribute__((target("avx2"))) int DownAvx2(const std::uint16_t* upper, const std::uint16_t* lower,
                                             int wy, int to, std::uint8_t* out) {
    const __m256i keep = _mm256_set1_epi16(static_cast<short>((kOne - wy) << 8));
    const __m256i weight = _mm256_set1_epi16(static_cast<short>(wy << 8));
    const __m256i half = _mm256_set1_epi16(128);
    const __m128i drop_unused =
        _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    const int room = kBytes == 3 ? 2 : 0; // pixels the 24-bit store overruns
    int k = 0;
    for (; k + kGroup + room <= to; k += kGroup) {
        __m256i v[2];
        for (int i = 0; i < 2; ++i) {
            const __m256i a =
                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(upper + (k + i * 4) * 4));
            if (wy == 0) {
                v[i] = a;
            } else {
                const __m256i b =
                    _mm256_loadu_si256(reinterpret_cast<const __m256i*>(lower + (k + i * 4) * 4));
                v[i] = _mm256_add_epi16(_mm256_mulhi_epu16(a, keep), _mm256_mulhi_epu16(b, weight));
            }
            v[i] = _mm256_srli_epi16(_mm256_add_epi16(v[i], half), 8);
        }
        const __m256i pixels = _mm256_permute4x64_epi64(_mm256_packus_epi16(v[0], v[1]), 0xD8);
        if constexpr (kBytes == 4) {
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + k * 4), pixels);
        } else {
            std::uint8_t* at = out + k * 3;
            _mm_storeu_si128(reinterpret_cast<__m128i*>(at),
                             _mm_shuffle_epi8(_mm256_castsi256_si128(pixels), drop_unused));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(at + 12),
                             _mm_shuffle_epi8(_mm256_extracti128_si256(pixels, 1), drop_unused));
        }
    }
    return k;
}

const bool kHaveAvx2 = CpuHasAvx2();
#else
constexpr bool kHaveAvx2 = false;
#endif

TColumns ColumnsOf(int n, double x0, double step, int size, bool groups) {
    TColumns c;
    c.Index.resize(static_cast<std::size_t>(n));
    c.Weight.resize(c.Index.size());
    for (int k = 0; k < n; ++k)
        Sample(x0 + k * step, size, c.Index[k], c.Weight[k]);
    if (!groups) return c;
    c.Groups = n / kGroup;
    c.Base.resize(static_cast<std::size_t>(c.Groups));
    c.Offsets.resize(static_cast<std::size_t>(c.Groups) * kGroup);
    c.Weights.resize(c.Offsets.size());
    for (int g = 0; g < c.Groups; ++g) {
        const int base = c.Base[g] = c.Index[g * kGroup];
        for (int i = 0; i < kGroup; ++i) {
            const int k = g * kGroup + i;
            const int offset = c.Index[k] - base;
            // A group spread over more than two registers' pixels (a scale
            // far from the source's own) is filtered one pixel at a time.
            if (offset + 1 >= 2 * kGroup) {
                c.Groups = 0;
                return c;
            }
            c.Offsets[k] = static_cast<std::uint8_t>(offset);
            c.Weights[k] = static_cast<std::uint32_t>(c.Weight[k]) * 0x10001u;
        }
    }
    return c;
}

} // namespace

TBilinearSource::TBilinearSource(int width, int height)
    : width_(std::max(width, 0)), height_(std::max(height, 0)),
      pixels_(width_ + kRowRoom, height_ + 1) {}

TBilinearSource::TBilinearSource(const TBitmap24& picture)
    : TBilinearSource(picture.Width(), picture.Height()) {
    for (int y = 0; y < height_; ++y)
        std::memcpy(pixels_.Row(y), picture.Row(y), static_cast<std::size_t>(width_) * 3);
}

namespace {

void Draw(TBitmap24& dst, const TBilinearSource& src, const TBilinearMap& map, bool vectors) {
    const TRect area = Intersection(map.Area, {0, 0, dst.Width(), dst.Height()});
    if (area.IsEmpty() || src.Empty()) return;
    const int n = area.Width();
    const TColumns columns = ColumnsOf(n, map.X0 + (area.Left - map.Area.Left) * map.StepX,
                                       map.StepX, src.Width(), vectors);
    // The two filtered source rows the current row lies between; rows next
    // to each other mostly share one.
    std::vector<std::uint16_t> upper(static_cast<std::size_t>(n) * 4), lower(upper.size());
    int upper_row = -1, lower_row = -1;
    auto across = [&](int row, std::vector<std::uint16_t>& out) {
        int from = 0;
#ifdef TEVRIN_X86_PATHS
        if (columns.Groups > 0) {
            AcrossAvx2(src.Row(row), columns, out.data());
            from = columns.Groups * kGroup;
        }
#endif
        AcrossPlain(src.Row(row), columns, from, n, out.data());
    };
    for (int y = area.Top; y < area.Bottom; ++y) {
        int row = 0, wy = 0;
        Sample(map.Y0 + (y - map.Area.Top) * map.StepY, src.Height(), row, wy);
        const int next = std::min(row + 1, src.Height() - 1);
        if (upper_row != row) {
            if (lower_row == row) {
                std::swap(upper, lower);
                std::swap(upper_row, lower_row);
            } else {
                across(row, upper);
                upper_row = row;
            }
        }
        if (wy != 0 && lower_row != next) {
            across(next, lower);
            lower_row = next;
        }
        std::uint8_t* out = dst.Row(y) + area.Left * dst.PixelBytes();
        int from = 0;
        if (dst.PixelBytes() == 4) {
#ifdef TEVRIN_X86_PATHS
            if (vectors) from = DownAvx2<4>(upper.data(), lower.data(), wy, n, out);
#endif
            DownPlain<4>(upper.data(), lower.data(), wy, from, n, out);
            continue;
        }
#ifdef TEVRIN_X86_PATHS
        if (vectors) from = DownAvx2<3>(upper.data(), lower.data(), wy, n, out);
#endif
        DownPlain<3>(upper.data(), lower.data(), wy, from, n, out);
    }
}

} // namespace

void DrawBilinear(TBitmap24& dst, const TBilinearSource& src, const TBilinearMap& map) {
    Draw(dst, src, map, kHaveAvx2);
}

void DrawBilinearPlain(TBitmap24& dst, const TBilinearSource& src, const TBilinearMap& map) {
    Draw(dst, src, map, false);
}

} // namespace tevrin
