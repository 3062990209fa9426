// Styles 118..122: a cross-fade and a picture that swings into place about
// one of the four corners, computed pixel by pixel into the screen bitmap,
// which holds the old image when the style's step runs.
#include "effects/PixelStyles.h"

#include "effects/Frame.h"

#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

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

void BlendBitmaps(TBitmap24& screen, const TBitmap24& picture, int p) {
    const auto keep = static_cast<std::uint16_t>(100 - p), take = static_cast<std::uint16_t>(p);
    const int bytes = picture.Width() * 3;
    for (int y = 0; y < picture.Height(); ++y) {
        std::uint8_t* s = screen.Row(y);
        const std::uint8_t* n = picture.Row(y);
        for (int i = 0; i < bytes; ++i)
            s[i] = static_cast<std::uint8_t>(static_cast<std::uint16_t>(keep * s[i]) / 100 +
                                             static_cast<std::uint16_t>(take * n[i]) / 100);
    }
}

void RotateBitmap(TBitmap24& screen, const TBitmap24& picture, int px, double angle, int py) {
    const double sin_a = std::sin(angle), cos_a = std::cos(angle);
    const int w = picture.Width(), h = picture.Height();
    std::vector<double> dx_cos(static_cast<std::size_t>(w)), dx_sin(static_cast<std::size_t>(w));
    for (int x = 0; x < w; ++x) {
        dx_cos[x] = (x - px) * cos_a;
        dx_sin[x] = (x - px) * sin_a;
    }
    std::vector<int> sx(static_cast<std::size_t>(w)), sy(static_cast<std::size_t>(w));
    for (int y = 0; y < h; ++y) {
        const double dy_sin = (y - py) * sin_a, dy_cos = (y - py) * cos_a;
        for (int x = 0; x < w; ++x) {
            sx[x] = static_cast<int>(RoundHalfEven(dx_cos[x] - dy_sin)) + px;
            sy[x] = static_cast<int>(RoundHalfEven(dx_sin[x] + dy_cos)) + py;
        }
        std::uint8_t* out = screen.Row(y);
        for (int x = 0; x < w; ++x) {
            const int u = sx[x], v = sy[x];
            if (static_cast<unsigned>(u) >= static_cast<unsigned>(w) ||
                static_cast<unsigned>(v) >= static_cast<unsigned>(h))
                continue;
            const std::uint8_t* from = picture.Row(v) + u * 3;
            out[x * 3] = from[0];
            out[x * 3 + 1] = from[1];
            out[x * 3 + 2] = from[2];
        }
    }
}

void PixelStyleStep(TFrame& f) {
    if (f.Style == 118) {
        BlendBitmaps(f.Screen, f.Picture, f.Progress);
        return;
    }
    const double angle = (100 - f.Progress) * std::numbers::pi / 200;
    const int left = -1, top = -1, right = f.W, bottom = f.H;
    switch (f.Style) {
    case 119: RotateBitmap(f.Screen, f.Picture, left, angle, top); break;
    case 120: RotateBitmap(f.Screen, f.Picture, left, angle, bottom); break;
    case 121: RotateBitmap(f.Screen, f.Picture, right, angle, top); break;
    case 122: RotateBitmap(f.Screen, f.Picture, right, angle, bottom); break;
    default: break;
    }
}

} // namespace tevrin
