// SPDX-License-Identifier: MIT
#include "gfx/Bilinear.h"

#include "gfx/Cpu.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#ifdef TEVRIN_X86_PATHS
#include <immintrin.h>
#endif

namespace tevrin {
namespace {

constexpr int kOne = 128; // weights are 128ths, so that a pair fits signed bytes
// Pixels filtered at a time by the vector paths.
constexpr int kGroup = 8;

// The source pixel at or left of `at` and the weight of the one after it.
void Sample(double at, int size, int& index, int& weight) {
    at = std::clamp(at, 0.0, static_cast<double>(size - 1));
    index = static_cast<int>(at);
    weight = static_cast<int>(std::lround((at - index) * kOne));
    if (weight == kOne) ++index, weight = 0;
    if (index >= size - 1) index = size - 1, weight = 0;
}

// Two neighbours weighted, rounded to the nearest value.
inline std::uint8_t Blend(std::uint32_t a, std::uint32_t b, std::uint32_t w) {
    return static_cast<std::uint8_t>((a * (kOne - w) + b * w + kOne / 2) / kOne);
}

// Where each destination column samples: per pixel, and for the vector
// paths per group of kGroup pixels from pixel Lead on: each group's first
// source pixel, its pixels' left and right neighbours as offsets from it,
// and their weights as the byte pairs the picked neighbours are multiplied
// by.
struct TColumns {
    std::vector<int> Index, Weight;
    int Lead = 0, Groups = 0;
    std::vector<int> Base;
    std::vector<std::int32_t> Left, Right; // kGroup each
    std::vector<std::int8_t> Weights;      // 8 a pixel: (left, right) per channel
    std::vector<std::uint8_t> Picks;       // the bytes the weights take, from the group's first
};

// `lead` pixels come before the first group; groups end `room` pixels
// before the row does.
TColumns ColumnsOf(int n, double x0, double step, int size, bool groups, int lead, int room) {
    TColumns c;
    c.Index.resize(static_cast<std::size_t>(n));
    c.Weight.resize(c.Index.size());
    for (int k = 0; k < n; ++k)
        Sample(x0 + k * step, size, c.Index[k], c.Weight[k]);
    if (!groups) return c;
    c.Lead = lead;
    c.Groups = std::max(0, (n - lead - room) / kGroup);
    c.Base.resize(static_cast<std::size_t>(c.Groups));
    c.Left.resize(static_cast<std::size_t>(c.Groups) * kGroup);
    c.Right.resize(c.Left.size());
    c.Weights.resize(c.Left.size() * 8);
    c.Picks.resize(c.Weights.size());
    // Where pixel i of a group lies in the pairs: the first half holds
    // pixels 0, 1, 4 and 5, the second 2, 3, 6 and 7, which packing the
    // two halves' sums puts back in order.
    constexpr int kPaired[kGroup] = {0, 1, 4, 5, 2, 3, 6, 7};
    for (int g = 0; g < c.Groups; ++g) {
        const int base = c.Base[g] = c.Index[lead + g * kGroup];
        for (int i = 0; i < kGroup; ++i) {
            const int k = lead + g * kGroup + i, j = g * kGroup + i;
            const int offset = c.Index[k] - base;
            // A group spread over more than two registers' pixels (a scale
            // far from the source's own) is filtered one pixel at a time.
            if (offset + 1 >= 2 * kGroup) {
                c.Groups = 0;
                return c;
            }
            // A left pixel alone would weigh kOne, one more than a signed
            // byte holds: it is taken twice at half.
            const int w = c.Weight[k];
            c.Left[j] = offset;
            c.Right[j] = w == 0 ? offset : offset + 1;
            const auto keep = static_cast<std::int8_t>(w == 0 ? kOne / 2 : kOne - w);
            const auto right = static_cast<std::int8_t>(w == 0 ? kOne / 2 : w);
            const std::size_t at = static_cast<std::size_t>(g * kGroup + kPaired[i]) * 8;
            for (int ch = 0; ch < 3; ++ch) {
                c.Weights[at + ch * 2] = keep;
                c.Weights[at + ch * 2 + 1] = right;
                c.Picks[at + ch * 2] = static_cast<std::uint8_t>(c.Left[j] * 3 + ch);
                c.Picks[at + ch * 2 + 1] = static_cast<std::uint8_t>(c.Right[j] * 3 + ch);
            }
        }
    }
    return c;
}

// Two source rows blended down, byte by byte.
void DownPlain(const std::uint8_t* upper, const std::uint8_t* lower, int wy, int from, int to,
               std::uint8_t* out) {
    const auto w = static_cast<std::uint32_t>(wy);
    for (int i = from; i < to; ++i)
        out[i] = Blend(upper[i], lower[i], w);
}

// A blended row filtered across into pixels of kBytes bytes (3: blue,
// green, red; 4: and the unused byte, 0).
template <int kBytes>
void AcrossPlain(const std::uint8_t* row, const TColumns& c, int from, int to, std::uint8_t* out) {
    for (int k = from; k < to; ++k) {
        const std::uint8_t* a = row + c.Index[k] * 3;
        const auto w = static_cast<std::uint32_t>(c.Weight[k]);
        for (int ch = 0; ch < 3; ++ch)
            out[k * kBytes + ch] = Blend(a[ch], a[ch + 3], w);
        if constexpr (kBytes == 4) out[k * 4 + 3] = 0;
    }
}

#ifdef TEVRIN_X86_PATHS
// The weighted sums of byte pairs, in 128ths, rounded back to bytes; both
// halves' lanes interleaved as `_mm256_unpacklo_epi8`/`hi` leave them, which
// the pack puts back in order.
__attribute__((target("avx2"))) inline __m256i Weighted(__m256i pairs_lo, __m256i weights_lo,
                                                        __m256i pairs_hi, __m256i weights_hi) {
    const __m256i round = _mm256_set1_epi16(256); // (x * 256 + 2^14) >> 15 == (x + 64) >> 7
    return _mm256_packus_epi16(
        _mm256_mulhrs_epi16(_mm256_maddubs_epi16(pairs_lo, weights_lo), round),
        _mm256_mulhrs_epi16(_mm256_maddubs_epi16(pairs_hi, weights_hi), round));
}

// Blends 32 bytes at a time while they lie inside [0, to); returns where
// it stopped.
__attribute__((target("avx2"))) int DownAvx2(const std::uint8_t* upper, const std::uint8_t* lower,
                                             int wy, int to, std::uint8_t* out) {
    const __m256i weights = _mm256_set1_epi16(static_cast<short>((kOne - wy) | wy << 8));
    int i = 0;
    for (; i + 32 <= to; i += 32) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(upper + i));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(lower + i));
        _mm256_storeu_si256(
            reinterpret_cast<__m256i*>(out + i),
            Weighted(_mm256_unpacklo_epi8(a, b), weights, _mm256_unpackhi_epi8(a, b), weights));
    }
    return i;
}

// Eight 4-byte pixels stored at `at`: as they are, past the caches when
// `stream` (a frame is not read again here, and a screen of them would push
// the picture out; `at` then lies on 32 bytes), or without their unused
// bytes, writing 4 bytes more.
template <int kBytes>
__attribute__((target("avx2"))) inline void Put(std::uint8_t* at, __m256i pixels, bool stream) {
    if constexpr (kBytes == 4) {
        if (stream)
            _mm256_stream_si256(reinterpret_cast<__m256i*>(at), pixels);
        else
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(at), pixels);
    } else {
        const __m128i drop_unused =
            _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(at),
                         _mm_shuffle_epi8(_mm256_castsi256_si128(pixels), drop_unused));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(at + 12),
                         _mm_shuffle_epi8(_mm256_extracti128_si256(pixels, 1), drop_unused));
    }
}

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

// The groups of kRows rows filtered across, each group's tables read once
// for all of them; reads 56 bytes from each group's first source pixel.
template <int kBytes, int kRows>
__attribute__((target("avx2"))) void AcrossAvx2(const std::uint8_t* const* rows, const TColumns& c,
                                                std::uint8_t* const* outs, bool stream) {
    const int* base = c.Base.data();
    const auto* left_at = reinterpret_cast<const __m256i*>(c.Left.data());
    const auto* right_at = reinterpret_cast<const __m256i*>(c.Right.data());
    const auto* w = reinterpret_cast<const __m256i*>(c.Weights.data());
    const int lead = c.Lead * kBytes;
    for (int g = 0, groups = c.Groups; g < groups; ++g, ++left_at, ++right_at, w += 2) {
        const __m256i left_picks = _mm256_loadu_si256(left_at);
        const __m256i right_picks = _mm256_loadu_si256(right_at);
        const __m256i w_lo = _mm256_loadu_si256(w), w_hi = _mm256_loadu_si256(w + 1);
        const int at = lead + g * kGroup * kBytes;
        for (int r = 0; r < kRows; ++r) {
            const std::uint8_t* p = rows[r] + base[g] * 3;
            const __m256i lo = Widened(p), hi = Widened(p + 24);
            const __m256i left = Pick(lo, hi, left_picks);
            const __m256i right = Pick(lo, hi, right_picks);
            Put<kBytes>(outs[r] + at,
                        Weighted(_mm256_unpacklo_epi8(left, right), w_lo,
                                 _mm256_unpackhi_epi8(left, right), w_hi),
                        stream);
        }
    }
}

// The same with the byte pairs picked straight from the rows' 3-byte
// pixels; reads 64 bytes from each group's first source pixel.
template <int kBytes, int kRows>
__attribute__((target("avx2,avx512vl,avx512vbmi"))) void
AcrossVbmi(const std::uint8_t* const* rows, const TColumns& c, std::uint8_t* const* outs,
           bool stream) {
    const int* base = c.Base.data();
    const auto* picks = reinterpret_cast<const __m256i*>(c.Picks.data());
    const auto* w = reinterpret_cast<const __m256i*>(c.Weights.data());
    const int lead = c.Lead * kBytes;
    for (int g = 0, groups = c.Groups; g < groups; ++g, picks += 2, w += 2) {
        const __m256i picks_lo = _mm256_loadu_si256(picks);
        const __m256i picks_hi = _mm256_loadu_si256(picks + 1);
        const __m256i w_lo = _mm256_loadu_si256(w), w_hi = _mm256_loadu_si256(w + 1);
        const int at = lead + g * kGroup * kBytes;
        for (int r = 0; r < kRows; ++r) {
            const std::uint8_t* p = rows[r] + base[g] * 3;
            const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
            const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32));
            Put<kBytes>(outs[r] + at,
                        Weighted(_mm256_permutex2var_epi8(a, picks_lo, b), w_lo,
                                 _mm256_permutex2var_epi8(a, picks_hi, b), w_hi),
                        stream);
        }
    }
}

const bool kHaveAvx2 = CpuHasAvx2();
const bool kHaveVbmi = CpuHasAvx512Vbmi();
#else
constexpr bool kHaveAvx2 = false;
constexpr bool kHaveVbmi = false;
#endif

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

// Rows filtered across together; their blended lines stay in the
// first-level cache.
constexpr int kRowsAtOnce = 4;

template <int kBytes>
void Draw(TBitmap24& dst, const TBilinearSource& src, const TBilinearMap& map, bool vectors,
          bool vbmi) {
    const TRect area = Intersection(map.Area, {0, 0, dst.Width(), dst.Height()});
    if (area.IsEmpty() || src.Empty()) return;
    const int n = area.Width();
    // 4-byte pixels go past the caches where every row's groups start on
    // 32 bytes; those before are filtered plainly.
    const auto first = reinterpret_cast<std::uintptr_t>(dst.Row(area.Top) + area.Left * kBytes);
    const bool stream = vectors && kBytes == 4 && dst.Stride() % 32 == 0 && first % 4 == 0;
    const int lead = stream ? std::min(n, static_cast<int>((32 - first % 32) % 32 / 4)) : 0;
    const int room = kBytes == 3 ? 2 : 0; // pixels a group's 3-byte store overruns
    const TColumns columns = ColumnsOf(n, map.X0 + (area.Left - map.Area.Left) * map.StepX,
                                       map.StepX, src.Width(), vectors, lead, room);
    // The bytes of a source row the columns take, and a row blended down
    // with room for the vector paths' reads past them.
    const int from = columns.Index.front() * 3, to = columns.Index.back() * 3 + 6;
    std::vector<std::uint8_t> blended(
        static_cast<std::size_t>(src.Width() + TBilinearSource::kRowRoom) * 3 * kRowsAtOnce);
    const int last = src.Height() - 1;
    // A destination row's source line: a source row, or two blended down
    // into `into`.
    auto line_of = [&](int y, std::uint8_t* into) {
        int row = 0, wy = 0;
        Sample(map.Y0 + (y - map.Area.Top) * map.StepY, src.Height(), row, wy);
        const std::uint8_t* line = src.Row(row);
        if (wy == 0) return line;
        const std::uint8_t* upper = line + from;
        const std::uint8_t* lower = src.Row(std::min(row + 1, last)) + from;
        int done = 0;
#ifdef TEVRIN_X86_PATHS
        if (vectors) done = DownAvx2(upper, lower, wy, to - from, into + from);
#endif
        DownPlain(upper, lower, wy, done, to - from, into + from);
        return static_cast<const std::uint8_t*>(into);
    };
    const std::size_t line_bytes = blended.size() / kRowsAtOnce;
    // Rows go kRowsAtOnce at a time through the vector paths, which then
    // read each group's tables once for all of them (a row's tables are
    // larger than the first-level cache leaves them).
    for (int y = area.Top; y < area.Bottom; y += kRowsAtOnce) {
        const int count = std::min(kRowsAtOnce, area.Bottom - y);
        const std::uint8_t* lines[kRowsAtOnce];
        std::uint8_t* outs[kRowsAtOnce];
        for (int r = 0; r < count; ++r) {
            lines[r] = line_of(y + r, blended.data() + r * line_bytes);
            outs[r] = dst.Row(y + r) + area.Left * kBytes;
        }
        int done = 0;
#ifdef TEVRIN_X86_PATHS
        if (columns.Groups > 0) {
            if (count == kRowsAtOnce) {
                (vbmi ? AcrossVbmi<kBytes, kRowsAtOnce>
                      : AcrossAvx2<kBytes, kRowsAtOnce>)(lines, columns, outs, stream);
            } else {
                for (int r = 0; r < count; ++r)
                    (vbmi ? AcrossVbmi<kBytes, 1> : AcrossAvx2<kBytes, 1>)(&lines[r], columns,
                                                                           &outs[r], stream);
            }
            done = columns.Lead + columns.Groups * kGroup;
        }
#endif
        for (int r = 0; r < count; ++r) {
            AcrossPlain<kBytes>(lines[r], columns, 0, columns.Lead, outs[r]);
            AcrossPlain<kBytes>(lines[r], columns, done == 0 ? columns.Lead : done, n, outs[r]);
        }
    }
#ifdef TEVRIN_X86_PATHS
    if (stream) _mm_sfence();
#endif
}

} // namespace

void DrawBilinear(TBitmap24& dst, const TBilinearSource& src, const TBilinearMap& map,
                  TVectorPaths paths) {
    const bool avx2 = kHaveAvx2 && paths != TVectorPaths::None;
    const bool vbmi = avx2 && kHaveVbmi && paths == TVectorPaths::All;
    if (dst.PixelBytes() == 4)
        Draw<4>(dst, src, map, avx2, vbmi);
    else
        Draw<3>(dst, src, map, avx2, vbmi);
}

} // namespace tevrin
