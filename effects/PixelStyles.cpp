// Styles 118..122: a cross-fade and a picture that swings into place about
// one of the four corners, computed pixel by pixel into the screen bitmap,
// which holds the old image when the style's step runs.
#include "effects/PixelStyles.h"

#include "effects/Frame.h"

#include <cmath>
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <numbers>
#include <vector>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace tevrin {
namespace {

// Adding and taking away 1.5 * 2^52 leaves a double rounded to an integer,
// half to even, under the default rounding mode, for |v| < 2^51. Unlike a
// library call it vectorises.
inline double RoundHalfEven(double v) {
    constexpr double kShift = 6755399441055744.0;
    return (v + kShift) - kShift;
}

} // namespace

namespace {

// v / 100 for v < 43,700 as a high-half multiply, which vectorises.
inline std::uint16_t Div100(std::uint16_t v) {
    return static_cast<std::uint16_t>((static_cast<std::uint32_t>(v) * 5243u) >> 19);
}

// Source coordinates of n destination pixels of one row. The same code is
// compiled twice, the second time for AVX2 where the processor has it: four
// doubles per instruction instead of two, same results.
#define TEVRIN_SOURCE_COORDS                                                                       \
    for (int i = 0; i < n; ++i) {                                                                  \
        sx[i] = static_cast<int>(RoundHalfEven(c[i] - dy_sin)) + px;                               \
        sy[i] = static_cast<int>(RoundHalfEven(s[i] + dy_cos)) + py;                               \
    }

void SourceCoords(const double* c, const double* s, double dy_sin, double dy_cos, int px, int py,
                  int n, int* sx, int* sy) {
    TEVRIN_SOURCE_COORDS
}

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
__attribute__((target("avx2"))) void SourceCoordsAvx2(const double* c, const double* s,
                                                      double dy_sin, double dy_cos, int px,
                                                      int py, int n, int* sx, int* sy) {
    TEVRIN_SOURCE_COORDS
}

using TSourceCoords = void (*)(const double*, const double*, double, double, int, int, int, int*,
                               int*);
const TSourceCoords kSourceCoords = __builtin_cpu_supports("avx2") ? SourceCoordsAvx2 : SourceCoords;
#else
constexpr auto kSourceCoords = SourceCoords;
#endif
#undef TEVRIN_SOURCE_COORDS

} // namespace

void BlendBitmaps(TBitmap24& screen, const TBitmap24& picture, int p, const TBitmap24* old) {
    const auto keep = static_cast<std::uint16_t>(100 - p), take = static_cast<std::uint16_t>(p);
    const int bytes = picture.Width() * 3;
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

void RotateBitmap(TBitmap24& screen, const TBitmap24& picture, int px, double angle, int py,
                  const TBitmap24* old) {
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
        auto bisect = [&](auto past) {  // first x for which past(x) holds
            int lo = 0, hi = w;
            while (lo < hi) {
                int mid = (lo + hi) / 2;
                if (past(mid)) hi = mid;
                else lo = mid + 1;
            }
            return lo;
        };
        if (monotone) {
            first[y] = bisect([&](int x) { return source_x(x, dy_sin) >= 0 && source_y(x, dy_cos) >= 0; });
            last[y] = bisect([&](int x) { return source_x(x, dy_sin) >= w || source_y(x, dy_cos) >= h; });
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
            std::memcpy(screen.Row(y), old->Row(y), static_cast<std::size_t>(a) * 3);
            std::memcpy(screen.Row(y) + b * 3, old->Row(y) + b * 3, static_cast<std::size_t>(w - b) * 3);
        }

    // Tiles keep the rotated source of a block of destination pixels in the
    // cache; a whole row at a time would touch a new source row per pixel.
    constexpr int kTileW = 64, kTileH = 32;
    int sx[kTileW], sy[kTileW];
    for (int ty = 0; ty < h; ty += kTileH)
        for (int tx = 0; tx < w; tx += kTileW)
            for (int y = ty; y < std::min(ty + kTileH, h); ++y) {
                const int x0 = std::max(tx, first[y]), x1 = std::min({tx + kTileW, w, last[y]});
                if (x0 >= x1) continue;
                const int n = x1 - x0;
                const double dy_sin = (y - py) * sin_a, dy_cos = (y - py) * cos_a;
                kSourceCoords(dx_cos.data() + x0, dx_sin.data() + x0, dy_sin, dy_cos, px, py, n, sx, sy);
                std::uint8_t* out = screen.Row(y) + x0 * 3;
                if (monotone) {
                    // Every pixel here maps inside. Neighbours that map to
                    // neighbours on one source row (most of them at small
                    // angles) move eight bytes at a time; a move may pass its
                    // run's end but never the row's last mapped pixel, as the
                    // pixels after it are written later.
                    const std::size_t limit = static_cast<std::size_t>(last[y] - x0) * 3;
                    for (int i = 0; i < n;) {
                        int j = i + 1;
                        while (j < n && sy[j] == sy[i] && sx[j] == sx[j - 1] + 1) ++j;
                        const std::uint8_t* from = picture.Row(sy[i]) + sx[i] * 3;
                        const std::size_t at = static_cast<std::size_t>(i) * 3;
                        const std::size_t bytes = static_cast<std::size_t>(j - i) * 3;
                        std::size_t o = 0;
                        for (; o < bytes && at + o + 8 <= limit; o += 8)
                            std::memcpy(out + at + o, from + o, 8);
                        if (o < bytes) std::memcpy(out + at + o, from + o, bytes - o);
                        i = j;
                    }
                    continue;
                }
                for (int i = 0; i < n; ++i) {
                    const int u = sx[i], v = sy[i];
                    if (static_cast<unsigned>(u) < static_cast<unsigned>(w) &&
                        static_cast<unsigned>(v) < static_cast<unsigned>(h))
                        std::memcpy(out + i * 3, picture.Row(v) + u * 3, 3);
                }
            }
}

void PixelStyleStep(TFrame& f, const TBitmap24* old) {
    if (f.Style == 118) {
        BlendBitmaps(f.Screen, f.Picture, f.Progress, old);
        return;
    }
    const double angle = (100 - f.Progress) * std::numbers::pi / 200;
    const int left = -1, top = -1, right = f.W, bottom = f.H;
    switch (f.Style) {
    case 119: RotateBitmap(f.Screen, f.Picture, left, angle, top, old); break;
    case 120: RotateBitmap(f.Screen, f.Picture, left, angle, bottom, old); break;
    case 121: RotateBitmap(f.Screen, f.Picture, right, angle, top, old); break;
    case 122: RotateBitmap(f.Screen, f.Picture, right, angle, bottom, old); break;
    default: break;
    }
}

} // namespace tevrin
