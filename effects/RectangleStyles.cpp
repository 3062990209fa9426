// SPDX-License-Identifier: MIT
// Styles 1..11, 18..28 and 35..53: one rectangle copy per frame. Each sets
// Dest (where on the screen) and Source (which part of the picture); equal
// rectangles wipe, a whole-picture source squeezes or slides, and a source
// smaller than its destination magnifies.
#include "effects/Frame.h"

namespace tevrin {

void RectangleStyleStep(TFrame& f) {
    const int W = f.W, H = f.H, X = f.X, Y = f.Y;
    const TRect all{0, 0, W, H};
    const int cl = (W - X) / 2, cr = (W + X) / 2;  // centred columns
    const int ct = (H - Y) / 2, cb = (H + Y) / 2;  // centred rows
    auto set = [&](TRect dest, TRect source) {
        f.Dest = dest;
        f.Source = source;
    };
    switch (f.Style) {
    case 1: set({W - X, 0, W, H}, all); break;
    case 2: set({0, 0, X, H}, all); break;
    case 3: set({W - X, 0, 2 * W - X, H}, all); break;
    case 4: set({X - W, 0, X, H}, all); break;
    case 5: set({0, 0, X, H}, {0, 0, X, H}); break;
    case 6: set({W - X, 0, W, H}, {W - X, 0, W, H}); break;
    case 7: set({0, 0, 2 * W - X, H}, {0, 0, X, H}); break;
    case 8: set({X - W, 0, W, H}, {W - X, 0, W, H}); break;
    case 9: set({X - W, 0, 2 * W - X, H}, {cl, 0, cr, H}); break;
    case 10: set({cl, 0, cr, H}, all); break;
    case 11: set({cl, 0, cr, H}, {cl, 0, cr, H}); break;

    case 18: set({0, H - Y, W, H}, all); break;
    case 19: set({0, 0, W, Y}, all); break;
    case 20: set({0, H - Y, W, 2 * H - Y}, all); break;
    case 21: set({0, Y - H, W, Y}, all); break;
    case 22: set({0, 0, W, Y}, {0, 0, W, Y}); break;
    case 23: set({0, H - Y, W, H}, {0, H - Y, W, H}); break;
    case 24: set({0, 0, W, 2 * H - Y}, {0, 0, W, Y}); break;
    case 25: set({0, Y - H, W, H}, {0, H - Y, W, H}); break;
    case 26: set({0, Y - H, W, 2 * H - Y}, {0, ct, W, cb}); break;
    case 27: set({0, ct, W, cb}, all); break;
    case 28: set({0, ct, W, cb}, {0, ct, W, cb}); break;

    case 35: set({W - X, H - Y, W, H}, all); break;
    case 36: set({W - X, 0, W, Y}, all); break;
    case 37: set({0, 0, X, Y}, all); break;
    case 38: set({0, H - Y, X, H}, all); break;
    case 39: set({W - X, H - Y, 2 * W - X, 2 * H - Y}, all); break;
    case 40: set({W - X, Y - H, 2 * W - X, Y}, all); break;
    case 41: set({X - W, Y - H, X, Y}, all); break;
    case 42: set({X - W, H - Y, X, 2 * H - Y}, all); break;
    case 43: set({0, 0, X, Y}, {0, 0, X, Y}); break;
    case 44: set({0, H - Y, X, H}, {0, H - Y, X, H}); break;
    case 45: set({W - X, H - Y, W, H}, {W - X, H - Y, W, H}); break;
    case 46: set({W - X, 0, W, Y}, {W - X, 0, W, Y}); break;
    case 47: set({0, 0, 2 * W - X, 2 * H - Y}, {0, 0, X, Y}); break;
    case 48: set({0, Y - H, 2 * W - X, H}, {0, H - Y, X, H}); break;
    case 49: set({X - W, Y - H, W, H}, {W - X, H - Y, W, H}); break;
    case 50: set({X - W, 0, W, 2 * H - Y}, {W - X, 0, W, Y}); break;
    case 51: set({X - W, Y - H, 2 * W - X, 2 * H - Y}, {cl, ct, cr, cb}); break;
    case 52: set({cl, ct, cr, cb}, all); break;
    case 53: set({cl, ct, cr, cb}, {cl, ct, cr, cb}); break;
    default: break;
    }
}

} // namespace tevrin
