#include "gfx/Copy.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace tevrin {

void CopyBitmap(TBitmap24& dst, const TBitmap24& src) {
    if (dst.Stride() == src.Stride() && dst.Height() == src.Height()) {
        std::memcpy(dst.Bits(), src.Bits(), dst.ByteSize());
        return;
    }
    const int w = std::min(dst.Width(), src.Width()), h = std::min(dst.Height(), src.Height());
    for (int y = 0; y < h; ++y) std::memcpy(dst.Row(y), src.Row(y), static_cast<std::size_t>(w) * 3);
}

void StretchCopy(TBitmap24& dst, int dx, int dy, int dw, int dh, const TBitmap24& src, int sx,
                 int sy, int sw, int sh) {
    if (dw == 0 || dh == 0 || sw <= 0 || sh <= 0) return;
    const bool mirror_x = dw < 0, mirror_y = dh < 0;
    const int nw = mirror_x ? -dw : dw, nh = mirror_y ? -dh : dh;
    const int left = mirror_x ? dx + dw : dx, top = mirror_y ? dy + dh : dy;
    // The destination pixels inside the bitmap.
    const int x0 = std::max(left, 0), x1 = std::min(left + nw, dst.Width());
    const int y0 = std::max(top, 0), y1 = std::min(top + nh, dst.Height());
    if (x0 >= x1 || y0 >= y1) return;

    auto source_of = [](int i, int n, int s, bool mirror) {
        int offset = static_cast<int>((2ll * i + 1) * s / (2ll * n));
        return mirror ? s - 1 - offset : offset;
    };
    // Source column of every destination column; -1 where it falls outside.
    std::vector<int> columns(static_cast<std::size_t>(x1 - x0));
    bool all_inside = true;
    for (int x = x0; x < x1; ++x) {
        int c = sx + source_of(x - left, nw, sw, mirror_x);
        bool inside = c >= 0 && c < src.Width();
        all_inside &= inside;
        columns[static_cast<std::size_t>(x - x0)] = inside ? c * 3 : -1;
    }
    const bool identity = all_inside && !mirror_x && nw == sw;
    const std::size_t row_bytes = static_cast<std::size_t>(x1 - x0) * 3;
    int previous_source = -1;
    for (int y = y0; y < y1; ++y) {
        const int r = sy + source_of(y - top, nh, sh, mirror_y);
        if (r < 0 || r >= src.Height()) {
            previous_source = -1;
            continue;
        }
        std::uint8_t* to = dst.Row(y) + x0 * 3;
        if (r == previous_source && all_inside) {
            // A magnified source row repeats: copy the row just drawn.
            std::memcpy(to, dst.Row(y - 1) + x0 * 3, row_bytes);
            continue;
        }
        previous_source = r;
        const std::uint8_t* from = src.Row(r);
        if (identity) {
            std::memcpy(to, from + columns[0], row_bytes);
        } else if (all_inside) {
            // Four-byte moves; each one's fourth byte is overwritten by the
            // next pixel, and the last pixel moves three bytes.
            const std::size_t n = columns.size();
            for (std::size_t i = 0; i + 1 < n; ++i) std::memcpy(to + i * 3, from + columns[i], 4);
            std::memcpy(to + (n - 1) * 3, from + columns[n - 1], 3);
        } else {
            for (int c : columns) {
                if (c >= 0) std::memcpy(to, from + c, 3);
                to += 3;
            }
        }
    }
}

void CopyClipped(TBitmap24& dst, const TBitmap24& src, const TRegion& clip) {
    const int w = std::min(dst.Width(), src.Width()), h = std::min(dst.Height(), src.Height());
    clip.ForEachRect([&](const TRect& r) {
        const int x0 = std::max(r.Left, 0), x1 = std::min(r.Right, w);
        if (x0 >= x1) return;
        for (int y = std::max(r.Top, 0); y < std::min(r.Bottom, h); ++y)
            std::memcpy(dst.Row(y) + x0 * 3, src.Row(y) + x0 * 3, static_cast<std::size_t>(x1 - x0) * 3);
    });
}

TBitmap24 ComposeCentered(const TBitmap24& picture, int w, int h) {
    TBitmap24 canvas(w, h);
    const int pw = picture.Width(), ph = picture.Height();
    StretchCopy(canvas, (w - pw) / 2, (h - ph) / 2, pw, ph, picture, 0, 0, pw, ph);
    return canvas;
}

void FillRect(TBitmap24& dst, const TRect& rect, std::uint32_t rgb) {
    const std::uint8_t b = static_cast<std::uint8_t>(rgb >> 16), g = static_cast<std::uint8_t>(rgb >> 8),
                       r = static_cast<std::uint8_t>(rgb);
    const int x0 = std::max(rect.Left, 0), x1 = std::min(rect.Right, dst.Width());
    for (int y = std::max(rect.Top, 0); y < std::min(rect.Bottom, dst.Height()); ++y) {
        std::uint8_t* p = dst.Row(y) + x0 * 3;
        for (int x = x0; x < x1; ++x, p += 3) {
            p[0] = b;
            p[1] = g;
            p[2] = r;
        }
    }
}

} // namespace tevrin
