// SPDX-License-Identifier: MIT
// Styles 118..122: a cross-fade and a picture that swings into place about
// one of the four corners, computed pixel by pixel into the screen bitmap,
// which holds the old image when the style's step runs.
#include "effects/PixelStyles.h"

#include "effects/Frame.h"
#include "gfx/Copy.h"
#include "gfx/Cpu.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <numbers>
#include <optional>
#include <vector>

#ifdef __SSE2__
#include <emmintrin.h>
#endif
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#include <immintrin.h>
#endif

namespace tevrin {
namespace {

// Adding 1.5 * 2^52 to a double rounds it to an integer, half to even,
// under the default rounding mode, for |v| < 2^51; the sum's low 32 bits then
// hold that integer in two's complement when it fits. Unlike a library call
// or a conversion instruction, both vectorise.
constexpr double kRoundShift = 6755399441055744.0;

inline double RoundHalfEven(double v) {
    return (v + kRoundShift) - kRoundShift;
}

inline std::int32_t RoundedInt(double v) {
    return static_cast<std::int32_t>(std::bit_cast<std::uint64_t>(v + kRoundShift));
}

// v / 100 for v < 43,700 as a high-half multiply, which vectorises.
inline std::uint16_t Div100(std::uint16_t v) {
    return static_cast<std::uint16_t>((static_cast<std::uint32_t>(v) * 5243u) >> 19);
}

// Copies n destination pixels of one row that all map inside the picture:
// destination pixel i shows the picture pixel at byte offset
// origin + round(s[i] + dy_cos) * stride + round(c[i] - dy_sin) * B, of B
// bytes a pixel. Each pixel moves as four bytes, so a 3-byte move spills
// one byte onto the next pixel; `room` bytes from `out` may be written, and
// the pixels in that room past the n are written later. The same rounding as the plain formulas, so
// the same pixels. `ahead` is roughly how far in the picture lie the sources
// of the pixels that come next along the row, a hint for the cache.
template <int B>
void CopyRotatedRow(const double* c, const double* s, double dy_sin, double dy_cos,
                    const std::uint8_t* bits, std::ptrdiff_t origin, std::ptrdiff_t stride, int n,
                    std::uint8_t* out, std::size_t room, std::ptrdiff_t /*ahead*/) {
    constexpr int kChunk = 64;
    std::ptrdiff_t from[kChunk];
    for (int base = 0; base < n; base += kChunk) {
        const int m = std::min(kChunk, n - base);
        // Separate from the moves, so that this loop vectorises.
        for (int i = 0; i < m; ++i)
            from[i] = origin + std::ptrdiff_t{RoundedInt(s[base + i] + dy_cos)} * stride +
                      std::ptrdiff_t{RoundedInt(c[base + i] - dy_sin)} * B;
        std::uint8_t* at = out + static_cast<std::size_t>(base) * B;
        if constexpr (B == 4) {
            for (int i = 0; i < m; ++i)
                std::memcpy(at + i * 4, bits + from[i], 4);
            continue;
        }
        const std::size_t left = room - static_cast<std::size_t>(base) * 3;
        const int wide = left >= static_cast<std::size_t>(m) * 3 + 1 ? m : m - 1;
        for (int i = 0; i < wide; ++i)
            std::memcpy(at + i * 3, bits + from[i], 4);
        if (wide < m) std::memcpy(at + wide * 3, bits + from[wide], 3);
    }
}

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
// The rounded integers in the low halves of a and b (each already shifted by
// kRoundShift), the eight in order.
__attribute__((target("avx2"))) inline __m256i RoundedLow32(__m256d a, __m256d b) {
    const __m256 halves =
        _mm256_shuffle_ps(_mm256_castpd_ps(a), _mm256_castpd_ps(b), _MM_SHUFFLE(2, 0, 2, 0));
    return _mm256_permute4x64_epi64(_mm256_castps_si256(halves), _MM_SHUFFLE(3, 1, 2, 0));
}

// Eight pixels at a time: coordinates four doubles per instruction, the eight
// source pixels fetched by one gather (and of 3 bytes, packed to 24). Byte
// offsets must fit in 32 bits.
template <int B>
__attribute__((target("avx2"))) void
CopyRotatedRowAvx2(const double* c, const double* s, double dy_sin, double dy_cos,
                   const std::uint8_t* bits, std::ptrdiff_t origin, std::ptrdiff_t stride, int n,
                   std::uint8_t* out, std::size_t room, std::ptrdiff_t ahead) {
    const __m256d shift = _mm256_set1_pd(kRoundShift);
    const __m256d vsin = _mm256_set1_pd(dy_sin), vcos = _mm256_set1_pd(dy_cos);
    const __m256i vstride = _mm256_set1_epi32(static_cast<int>(stride));
    const __m256i vorigin = _mm256_set1_epi32(static_cast<int>(origin));
    const __m256i pack = _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1, 0,
                                          1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    const __m256i join = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 3, 7);
    const __m256i vahead = _mm256_set1_epi32(static_cast<int>(ahead));
    const auto base = reinterpret_cast<std::uintptr_t>(bits);
    int i = 0;
    for (; i + 8 <= n && static_cast<std::size_t>(i) * B + 32 <= room; i += 8) {
        const __m256i sx =
            RoundedLow32(_mm256_add_pd(_mm256_sub_pd(_mm256_loadu_pd(c + i), vsin), shift),
                         _mm256_add_pd(_mm256_sub_pd(_mm256_loadu_pd(c + i + 4), vsin), shift));
        const __m256i sy =
            RoundedLow32(_mm256_add_pd(_mm256_add_pd(_mm256_loadu_pd(s + i), vcos), shift),
                         _mm256_add_pd(_mm256_add_pd(_mm256_loadu_pd(s + i + 4), vcos), shift));
        const __m256i across =
            B == 4 ? _mm256_slli_epi32(sx, 2) : _mm256_add_epi32(sx, _mm256_add_epi32(sx, sx));
        const __m256i offsets =
            _mm256_add_epi32(_mm256_add_epi32(_mm256_mullo_epi32(sy, vstride), vorigin), across);
        // Asking now for the source that comes next hides the memory's
        // latency, which otherwise bounds this loop when the picture is
        // larger than the cache. Two of the eight suffice: at the shallow
        // angles where it counts, the eight lie on one or two source rows.
        const __m256i later = _mm256_add_epi32(offsets, vahead);
        _mm_prefetch(reinterpret_cast<const char*>(base + _mm256_extract_epi32(later, 0)),
                     _MM_HINT_T0);
        _mm_prefetch(reinterpret_cast<const char*>(base + _mm256_extract_epi32(later, 4)),
                     _MM_HINT_T0);
        const __m256i pixels =
            _mm256_i32gather_epi32(reinterpret_cast<const int*>(bits), offsets, 1);
        if constexpr (B == 4)
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i * 4), pixels);
        else
            _mm256_storeu_si256(
                reinterpret_cast<__m256i*>(out + i * 3),
                _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(pixels, pack), join));
    }
    // The rest goes to code built without AVX, which runs slowly while the
    // upper register halves are in use, and the compiler does not always
    // clear them before a tail call.
    _mm256_zeroupper();
    CopyRotatedRow<B>(c + i, s + i, dy_sin, dy_cos, bits, origin, stride, n - i, out + i * B,
                      room - static_cast<std::size_t>(i) * B, ahead);
}

// Chosen during static initialisation, which may run before the compiler's
// own processor detection has.
const bool kHasAvx2 = CpuHasAvx2();
#endif

using TCopyRotatedRow = void (*)(const double*, const double*, double, double, const std::uint8_t*,
                                 std::ptrdiff_t, std::ptrdiff_t, int, std::uint8_t*, std::size_t,
                                 std::ptrdiff_t);

template <int B> TCopyRotatedRow RowCopy(bool widest) {
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
    if (widest && kHasAvx2) return CopyRotatedRowAvx2<B>;
#endif
    (void)widest;
    return CopyRotatedRow<B>;
}

} // namespace

void BlendBitmaps(TBitmap24& screen, const TBitmap24& picture, int p, const TBitmap24* old) {
    const auto keep = static_cast<std::uint16_t>(100 - p), take = static_cast<std::uint16_t>(p);
    const int bytes = picture.Width() * picture.PixelBytes();
    for (int y = 0; y < picture.Height(); ++y) {
        std::uint8_t* s = screen.Row(y);
        const std::uint8_t* o = old != nullptr ? old->Row(y) : s;
        const std::uint8_t* n = picture.Row(y);
        int i = 0;
#ifdef __SSE2__
        // Sixteen bytes at a time: widen to 16 bits, multiply, divide by 100
        // as a high-half multiply, add, narrow.
        const __m128i zero = _mm_setzero_si128(), magic = _mm_set1_epi16(5243);
        const __m128i vkeep = _mm_set1_epi16(static_cast<short>(keep));
        const __m128i vtake = _mm_set1_epi16(static_cast<short>(take));
        auto half = [&](__m128i a, __m128i b) {
            __m128i ka = _mm_srli_epi16(_mm_mulhi_epu16(_mm_mullo_epi16(a, vkeep), magic), 3);
            __m128i tb = _mm_srli_epi16(_mm_mulhi_epu16(_mm_mullo_epi16(b, vtake), magic), 3);
            return _mm_add_epi16(ka, tb);
        };
        for (; i + 16 <= bytes; i += 16) {
            __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(o + i));
            __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(n + i));
            __m128i lo = half(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero));
            __m128i hi = half(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(s + i), _mm_packus_epi16(lo, hi));
        }
#endif
        for (; i < bytes; ++i)
            s[i] = static_cast<std::uint8_t>(Div100(static_cast<std::uint16_t>(keep * o[i])) +
                                             Div100(static_cast<std::uint16_t>(take * n[i])));
    }
}

namespace {

template <int B>
void RotateInPixels(TBitmap24& screen, const TBitmap24& picture, int px, double angle, int py,
                    const TBitmap24* old, TPixelPath path) {
    const double sin_a = std::sin(angle), cos_a = std::cos(angle);
    const int w = picture.Width(), h = picture.Height();
    if (w == 0 || h == 0) return;
    std::vector<double> dx_cos(static_cast<std::size_t>(w)), dx_sin(static_cast<std::size_t>(w));
    for (int x = 0; x < w; ++x) {
        dx_cos[x] = (x - px) * cos_a;
        dx_sin[x] = (x - px) * sin_a;
    }
    auto source_x = [&](int x, double dy_sin) {
        return static_cast<int>(RoundHalfEven(dx_cos[x] - dy_sin)) + px;
    };
    auto source_y = [&](int x, double dy_cos) {
        return static_cast<int>(RoundHalfEven(dx_sin[x] + dy_cos)) + py;
    };

    // For angles of 0 to a quarter turn, sin and cos are not negative, so
    // along a row both source coordinates never decrease: the pixels that
    // map inside the picture form one run [first, last) per row, found by
    // bisection, and only that run is computed.
    std::vector<int> first(static_cast<std::size_t>(h)), last(static_cast<std::size_t>(h));
    const bool monotone = sin_a >= 0 && cos_a >= 0;
    for (int y = 0; y < h; ++y) {
        const double dy_sin = (y - py) * sin_a, dy_cos = (y - py) * cos_a;
        auto bisect = [&](auto past) { // first x for which past(x) holds
            int lo = 0, hi = w;
            while (lo < hi) {
                int mid = (lo + hi) / 2;
                if (past(mid))
                    hi = mid;
                else
                    lo = mid + 1;
            }
            return lo;
        };
        if (monotone) {
            first[y] =
                bisect([&](int x) { return source_x(x, dy_sin) >= 0 && source_y(x, dy_cos) >= 0; });
            last[y] =
                bisect([&](int x) { return source_x(x, dy_sin) >= w || source_y(x, dy_cos) >= h; });
        } else {
            first[y] = 0;
            last[y] = w;
        }
    }

    if (old != nullptr)
        for (int y = 0; y < h; ++y) {
            // The old image shows wherever the picture does not land.
            const bool run = monotone && first[y] < last[y];
            const int a = run ? first[y] : w, b = run ? last[y] : w;
            std::memcpy(screen.Row(y), old->Row(y), static_cast<std::size_t>(a) * B);
            std::memcpy(screen.Row(y) + b * B, old->Row(y) + b * B,
                        static_cast<std::size_t>(w - b) * B);
        }

    if (!monotone) {
        // Other angles, which no style uses: the formulas as they stand.
        for (int y = 0; y < h; ++y) {
            const double dy_sin = (y - py) * sin_a, dy_cos = (y - py) * cos_a;
            for (int x = 0; x < w; ++x) {
                const int u = source_x(x, dy_sin), v = source_y(x, dy_cos);
                if (static_cast<unsigned>(u) < static_cast<unsigned>(w) &&
                    static_cast<unsigned>(v) < static_cast<unsigned>(h))
                    std::memcpy(screen.Row(y) + x * B, picture.Row(v) + u * B, B);
            }
        }
        return;
    }

    // Tiles keep the rotated source of a block of destination pixels in the
    // cache; a whole row at a time would touch a new source row per pixel.
    // A row's writes may spill onto its pixels after the tile but never past
    // its last mapped pixel, as those are written later.
    constexpr int kTileW = 64, kTileH = 32;
    const std::ptrdiff_t stride = picture.Stride();
    const std::ptrdiff_t origin = py * stride + px * B;
    // The next tile's pixels of a row lie one tile width along the rotated
    // row in the picture.
    const std::ptrdiff_t ahead =
        std::lround(kTileW * sin_a) * stride + std::lround(kTileW * cos_a) * B;
    const bool offsets_fit = picture.ByteSize() + TBitmap24::kSlack < 0x7fffffffu;
    const TCopyRotatedRow copy = RowCopy<B>(path == TPixelPath::Widest && offsets_fit);
    for (int ty = 0; ty < h; ty += kTileH)
        for (int tx = 0; tx < w; tx += kTileW)
            for (int y = ty; y < std::min(ty + kTileH, h); ++y) {
                const int x0 = std::max(tx, first[y]), x1 = std::min({tx + kTileW, w, last[y]});
                if (x0 >= x1) continue;
                copy(dx_cos.data() + x0, dx_sin.data() + x0, (y - py) * sin_a, (y - py) * cos_a,
                     picture.Bits(), origin, stride, x1 - x0, screen.Row(y) + x0 * B,
                     static_cast<std::size_t>(last[y] - x0) * B, ahead);
            }
}

} // namespace

void RotateBitmap(TBitmap24& screen, const TBitmap24& picture, int px, double angle, int py,
                  const TBitmap24* old, TPixelPath path) {
    if (picture.PixelBytes() == 4)
        RotateInPixels<4>(screen, picture, px, angle, py, old, path);
    else
        RotateInPixels<3>(screen, picture, px, angle, py, old, path);
}

void PixelStyleStep(TFrame& f, const TBitmap24* old) {
    // The routines read and write one pixel size; the frame's host keeps its
    // bitmaps in one, and any other is converted for the frame.
    const int bytes = f.Screen.PixelBytes();
    if (f.Picture.PixelBytes() != bytes || (old != nullptr && old->PixelBytes() != bytes)) {
        const TBitmap24 picture = InPixelBytes(f.Picture, bytes);
        const std::optional<TBitmap24> same_old =
            old != nullptr ? std::optional(InPixelBytes(*old, bytes)) : std::nullopt;
        TFrame converted{f.Host, f.Screen, picture, f.Style, f.Progress, f.Step,  f.W,
                         f.H,    f.X,      f.Y,     f.D,     f.Dest,     f.Source};
        return PixelStyleStep(converted, same_old ? &*same_old : nullptr);
    }
    if (f.Style == 118) {
        BlendBitmaps(f.Screen, f.Picture, f.Progress, old);
        return;
    }
    // The pivot lies just outside a corner: the left one for 119 and 120,
    // the top one for 119 and 121.
    const int px = f.Style == 119 || f.Style == 120 ? -1 : f.W;
    const int py = f.Style == 119 || f.Style == 121 ? -1 : f.H;
    RotateBitmap(f.Screen, f.Picture, px, (100 - f.Progress) * std::numbers::pi / 200, py, old);
}

} // namespace tevrin
