// SPDX-License-Identifier: MIT
#include "gfx/Copy.h"

#include "gfx/Cpu.h"

#include <algorithm>
#include <cstring>
#include <span>
#include <vector>

#ifdef TEVRIN_X86_PATHS
#include <immintrin.h>
#endif

namespace tevrin {

namespace {

// The source pixel that destination pixel i of an extent n takes from an
// extent s, nearest pixel, counted from the far end when mirrored.
int SourceOf(int i, int n, int s, bool mirror) {
    const int offset = static_cast<int>((2ll * i + 1) * s / (2ll * n));
    return mirror ? s - 1 - offset : offset;
}

// `count` pixels from `src` to `dst`, each of its bitmap's pixel size; a
// 4-byte pixel's unused byte is 255.
void ConvertPixels(const std::uint8_t* src, int src_bytes, std::uint8_t* dst, int dst_bytes,
                   int count) {
    if (src_bytes == dst_bytes) {
        std::memcpy(dst, src, static_cast<std::size_t>(count) * src_bytes);
    } else if (dst_bytes == 4) {
        WidenPixels(src, dst, count);
    } else {
        for (int x = 0; x < count; ++x, src += 4, dst += 3) {
            dst[0] = src[0];
            dst[1] = src[1];
            dst[2] = src[2];
        }
    }
}

// Where each destination column x0 .. x1 of a stretch takes its source: the
// byte offset in a source row of `bytes`-byte pixels, -1 outside the source.
struct TSourceColumns {
    std::vector<int> Offsets;
    bool AllInside = true;
};

TSourceColumns SourceColumns(int x0, int x1, int left, int nw, bool mirror_x, int sx, int sw,
                             int src_width, int bytes) {
    TSourceColumns columns;
    columns.Offsets.resize(static_cast<std::size_t>(x1 - x0));
    for (int x = x0; x < x1; ++x) {
        const int c = sx + SourceOf(x - left, nw, sw, mirror_x);
        const bool inside = c >= 0 && c < src_width;
        columns.AllInside &= inside;
        columns.Offsets[static_cast<std::size_t>(x - x0)] = inside ? c * bytes : -1;
    }
    return columns;
}

// The destination rows y0 .. y1 of a stretch, each drawn by draw(to, from)
// from its source row (`to` at column x0), rows outside the source left
// alone. A magnified source row is drawn once, and copied for its repeats
// when every column has its source.
template <typename TDraw>
void StretchRows(TBitmap24& dst, int x0, int x1, int y0, int y1, int top, int nh, bool mirror_y,
                 const TBitmap24& src, int sy, int sh, bool all_inside, TDraw draw) {
    const int bytes = dst.PixelBytes();
    const std::size_t row_bytes = static_cast<std::size_t>(x1 - x0) * bytes;
    int previous_source = -1;
    for (int y = y0; y < y1; ++y) {
        const int r = sy + SourceOf(y - top, nh, sh, mirror_y);
        if (r < 0 || r >= src.Height()) {
            previous_source = -1;
            continue;
        }
        std::uint8_t* to = dst.Row(y) + x0 * bytes;
        if (r == previous_source && all_inside) {
            std::memcpy(to, dst.Row(y - 1) + x0 * bytes, row_bytes);
            continue;
        }
        previous_source = r;
        draw(to, src.Row(r));
    }
}

// StretchCopy where either bitmap has 4-byte pixels: nearest pixels, whole
// rows converted at once when the sizes are equal.
void StretchCopyFormats(TBitmap24& dst, int x0, int x1, int y0, int y1, int left, int top, int nw,
                        int nh, bool mirror_x, bool mirror_y, const TBitmap24& src, int sx, int sy,
                        int sw, int sh) {
    const int db = dst.PixelBytes(), sb = src.PixelBytes();
    const TSourceColumns columns =
        SourceColumns(x0, x1, left, nw, mirror_x, sx, sw, src.Width(), sb);
    const bool identity = columns.AllInside && !mirror_x && nw == sw;
    StretchRows(dst, x0, x1, y0, y1, top, nh, mirror_y, src, sy, sh, columns.AllInside,
                [&](std::uint8_t* to, const std::uint8_t* from) {
                    if (identity) {
                        ConvertPixels(from + columns.Offsets[0], sb, to, db, x1 - x0);
                    } else if (sb == 4 && db == 4) {
                        for (int c : columns.Offsets) {
                            if (c >= 0) std::memcpy(to, from + c, 4);
                            to += 4;
                        }
                    } else {
                        for (int c : columns.Offsets) {
                            if (c >= 0) {
                                std::memcpy(to, from + c, 3);
                                if (db == 4) to[3] = 255;
                            }
                            to += db;
                        }
                    }
                });
}

// One stretched row of 3-byte pixels whose every column has its source:
// runs of consecutive source pixels (a scale near 1) are block copies; the
// rest are four-byte moves whose fourth byte the next pixel overwrites.
template <typename TRuns>
void CopyRuns(std::uint8_t* to, const std::uint8_t* from, const std::vector<int>& columns,
              const TRuns& runs) {
    const std::size_t end = (columns.size() - 1) * 3;
    for (const auto& run : runs) {
        if (run.Copy) {
            // Eight-byte moves; one that passes the run's end is overwritten
            // by the pixels after it, but none passes the last pixel, which
            // moves on its own.
            const std::size_t at = run.First * 3, bytes = run.Count * 3;
            const std::uint8_t* s = from + columns[run.First];
            std::size_t o = 0;
            for (; o < bytes && at + o + 8 <= end; o += 8)
                std::memcpy(to + at + o, s + o, 8);
            if (o < bytes) std::memcpy(to + at + o, s + o, bytes - o);
            continue;
        }
        std::uint8_t* out = to + run.First * 3;
        const int* c = columns.data() + run.First;
        const int* stop = c + run.Count;
        for (; c + 4 <= stop; c += 4, out += 12) {
            std::uint32_t p0, p1, p2, p3;
            std::memcpy(&p0, from + c[0], 4);
            std::memcpy(&p1, from + c[1], 4);
            std::memcpy(&p2, from + c[2], 4);
            std::memcpy(&p3, from + c[3], 4);
            // Four pixels packed into twelve bytes, stored at once.
            const std::uint64_t lo = (p0 & 0xFFFFFFu) | (std::uint64_t(p1 & 0xFFFFFFu) << 24) |
                                     (std::uint64_t(p2) << 48);
            const std::uint32_t hi = ((p2 >> 16) & 0xFFu) | ((p3 & 0xFFFFFFu) << 8);
            std::memcpy(out, &lo, 8);
            std::memcpy(out + 8, &hi, 4);
        }
        for (; c < stop; ++c, out += 3)
            std::memcpy(out, from + *c, 4);
    }
    const std::size_t n = columns.size();
    std::memcpy(to + (n - 1) * 3, from + columns[n - 1], 3);
}

} // namespace

void CopyBitmap(TBitmap24& dst, const TBitmap24& src) {
    if (dst.PixelBytes() != src.PixelBytes()) {
        const int w = std::min(dst.Width(), src.Width()), h = std::min(dst.Height(), src.Height());
        for (int y = 0; y < h; ++y)
            ConvertPixels(src.Row(y), src.PixelBytes(), dst.Row(y), dst.PixelBytes(), w);
        return;
    }
    if (dst.Stride() == src.Stride() && dst.Height() == src.Height()) {
        std::memcpy(dst.Bits(), src.Bits(), dst.ByteSize());
        return;
    }
    const int w = std::min(dst.Width(), src.Width()), h = std::min(dst.Height(), src.Height());
    for (int y = 0; y < h; ++y)
        std::memcpy(dst.Row(y), src.Row(y), static_cast<std::size_t>(w) * src.PixelBytes());
}

void StretchCopy(TBitmap24& dst, int dx, int dy, int dw, int dh, const TBitmap24& src, int sx,
                 int sy, int sw, int sh, const TRect* clip) {
    if (dw == 0 || dh == 0 || sw <= 0 || sh <= 0) return;
    const bool mirror_x = dw < 0, mirror_y = dh < 0;
    const int nw = mirror_x ? -dw : dw, nh = mirror_y ? -dh : dh;
    const int left = mirror_x ? dx + dw : dx, top = mirror_y ? dy + dh : dy;
    // The destination pixels inside the bitmap.
    int x0 = std::max(left, 0), x1 = std::min(left + nw, dst.Width());
    int y0 = std::max(top, 0), y1 = std::min(top + nh, dst.Height());
    if (clip != nullptr) {
        x0 = std::max(x0, clip->Left);
        x1 = std::min(x1, clip->Right);
        y0 = std::max(y0, clip->Top);
        y1 = std::min(y1, clip->Bottom);
    }
    if (x0 >= x1 || y0 >= y1) return;
    if (dst.PixelBytes() != 3 || src.PixelBytes() != 3)
        return StretchCopyFormats(dst, x0, x1, y0, y1, left, top, nw, nh, mirror_x, mirror_y, src,
                                  sx, sy, sw, sh);

    const TSourceColumns source = SourceColumns(x0, x1, left, nw, mirror_x, sx, sw, src.Width(), 3);
    const std::vector<int>& columns = source.Offsets;
    const bool all_inside = source.AllInside;
    const bool identity = all_inside && !mirror_x && nw == sw;
    // Splits the destination row (all but its last pixel, which always moves
    // three bytes) into runs of consecutive source pixels and stretches of
    // single moves.
    struct TRun {
        std::size_t First, Count;
        bool Copy;
    };
    std::vector<TRun> runs;
    if (all_inside && !identity) {
        const std::size_t n = columns.size() - 1;
        std::size_t i = 0;
        while (i < n) {
            std::size_t j = i + 1;
            while (j < n && columns[j] == columns[j - 1] + 3)
                ++j;
            if (j - i >= 8) {
                runs.push_back({i, j - i, true});
            } else if (!runs.empty() && !runs.back().Copy) {
                runs.back().Count += j - i;
            } else {
                runs.push_back({i, j - i, false});
            }
            i = j;
        }
    }
    const std::size_t row_bytes = static_cast<std::size_t>(x1 - x0) * 3;
    StretchRows(dst, x0, x1, y0, y1, top, nh, mirror_y, src, sy, sh, all_inside,
                [&](std::uint8_t* to, const std::uint8_t* from) {
                    if (identity) {
                        std::memcpy(to, from + columns[0], row_bytes);
                    } else if (all_inside) {
                        CopyRuns(to, from, columns, runs);
                    } else {
                        for (int c : columns) {
                            if (c >= 0) std::memcpy(to, from + c, 3);
                            to += 3;
                        }
                    }
                });
}

namespace {

// `dst` takes `inside` where `clip` holds and `outside` elsewhere, or keeps
// its own pixels there without one; each pixel is written at most once.
void CopyThroughRegion(TBitmap24& dst, const TBitmap24& inside, const TBitmap24* outside,
                       const TRegion& clip) {
    const int w = std::min(dst.Width(), inside.Width()),
              h = std::min(dst.Height(), inside.Height());
    const int bytes = dst.PixelBytes();
    const std::size_t row_bytes = static_cast<std::size_t>(w) * bytes;
    auto outside_bytes = [&](int y, std::size_t from, std::size_t to) {
        if (outside != nullptr && from < to)
            std::memcpy(dst.Row(y) + from, outside->Row(y) + from, to - from);
    };
    std::vector<std::uint8_t> mask;
    int done = 0; // rows above this are drawn
    clip.ForEachBand([&](int top, int bottom, std::span<const TRegion::TSpan> spans) {
        const int y0 = std::clamp(top, done, h), y1 = std::clamp(bottom, y0, h);
        if (y0 >= y1) return;
        for (int y = done; y < y0; ++y)
            outside_bytes(y, 0, row_bytes);
        done = y1;
        auto byte_at = [&](int x) { return static_cast<std::size_t>(std::clamp(x, 0, w)) * bytes; };
        const std::size_t left = byte_at(spans.front().Left), right = byte_at(spans.back().Right);
        if (spans.size() <= 8 || w / static_cast<int>(spans.size()) >= 16) {
            for (int y = y0; y < y1; ++y) {
                std::size_t at = 0; // bytes of the row drawn
                for (const TRegion::TSpan& span : spans) {
                    const std::size_t a = byte_at(span.Left), b = byte_at(span.Right);
                    if (a >= b) continue;
                    outside_bytes(y, at, a);
                    std::memcpy(dst.Row(y) + a, inside.Row(y) + a, b - a);
                    at = b;
                }
                outside_bytes(y, at, row_bytes);
            }
            return;
        }
        // Many narrow spans (combs, crumbs): one byte mask over the band's
        // extent chooses between the rows, which vectorises.
        mask.assign(row_bytes, 0);
        for (const TRegion::TSpan& span : spans) {
            const std::size_t a = byte_at(span.Left), b = byte_at(span.Right);
            if (a < b) std::memset(mask.data() + a, 0xFF, b - a);
        }
        const std::uint8_t* m = mask.data();
        for (int y = y0; y < y1; ++y) {
            std::uint8_t* d = dst.Row(y);
            const std::uint8_t* in = inside.Row(y);
            outside_bytes(y, 0, left);
            if (outside != nullptr) {
                const std::uint8_t* out = outside->Row(y);
                for (std::size_t i = left; i < right; ++i)
                    d[i] = static_cast<std::uint8_t>((in[i] & m[i]) | (out[i] & ~m[i]));
            } else {
                for (std::size_t i = left; i < right; ++i)
                    d[i] = static_cast<std::uint8_t>((in[i] & m[i]) | (d[i] & ~m[i]));
            }
            outside_bytes(y, right, row_bytes);
        }
    });
    for (int y = done; y < h; ++y)
        outside_bytes(y, 0, row_bytes);
}

} // namespace

void CopyClipped(TBitmap24& dst, const TBitmap24& src, const TRegion& clip) {
    if (src.PixelBytes() != dst.PixelBytes())
        return CopyThroughRegion(dst, InPixelBytes(src, dst.PixelBytes()), nullptr, clip);
    CopyThroughRegion(dst, src, nullptr, clip);
}

void CopySelected(TBitmap24& dst, const TBitmap24& inside, const TBitmap24& outside,
                  const TRegion& clip) {
    const int bytes = dst.PixelBytes();
    if (inside.PixelBytes() != bytes || outside.PixelBytes() != bytes) {
        const TBitmap24 in = InPixelBytes(inside, bytes), out = InPixelBytes(outside, bytes);
        return CopyThroughRegion(dst, in, &out, clip);
    }
    CopyThroughRegion(dst, inside, &outside, clip);
}

TBitmap24 InPixelBytes(const TBitmap24& src, int pixel_bytes) {
    if (src.PixelBytes() == pixel_bytes) return src;
    TBitmap24 copy = TBitmap24::Undefined(src.Width(), src.Height(), pixel_bytes);
    CopyBitmap(copy, src);
    return copy;
}

TBitmap24 ComposeCentered(const TBitmap24& picture, int w, int h) {
    TBitmap24 canvas(w, h);
    const int pw = picture.Width(), ph = picture.Height();
    StretchCopy(canvas, (w - pw) / 2, (h - ph) / 2, pw, ph, picture, 0, 0, pw, ph);
    return canvas;
}

TUprightView UprightView(const TBitmap24& stored, int orientation) {
    const int w = stored.Width(), h = stored.Height();
    const std::ptrdiff_t pixel = 3, row = stored.Stride();
    const std::ptrdiff_t right = (w - 1) * pixel, bottom = (h - 1) * row;
    TUprightView view{w, h, 0, pixel, row};
    switch (orientation) {
    case 2:
        view = {w, h, right, -pixel, row};
        break;
    case 3:
        view = {w, h, right + bottom, -pixel, -row};
        break;
    case 4:
        view = {w, h, bottom, pixel, -row};
        break;
    case 5:
        view = {h, w, 0, row, pixel};
        break;
    case 6:
        view = {h, w, bottom, -row, pixel};
        break;
    case 7:
        view = {h, w, right + bottom, -row, -pixel};
        break;
    case 8:
        view = {h, w, right, row, -pixel};
        break;
    default:
        break;
    }
    return view;
}

TBitmap24 TurnUpright(const TBitmap24& stored, int orientation) {
    const TUprightView view = UprightView(stored, orientation);
    TBitmap24 upright(view.Width, view.Height);
    if (upright.Empty()) return upright;
    const std::uint8_t* base = stored.Bits() + view.Origin;
    // Tiles keep the reads of a quarter turn within the cache.
    constexpr int kTile = 64;
    for (int ty = 0; ty < view.Height; ty += kTile)
        for (int tx = 0; tx < view.Width; tx += kTile)
            for (int y = ty; y < std::min(ty + kTile, view.Height); ++y) {
                std::uint8_t* out = upright.Row(y) + tx * 3;
                const std::uint8_t* in = base + y * view.StepY + tx * view.StepX;
                for (int x = tx; x < std::min(tx + kTile, view.Width);
                     ++x, out += 3, in += view.StepX) {
                    out[0] = in[0];
                    out[1] = in[1];
                    out[2] = in[2];
                }
            }
    return upright;
}

void FillRect(TBitmap24& dst, const TRect& rect, std::uint32_t rgb) {
    const std::uint8_t b = static_cast<std::uint8_t>(rgb >> 16),
                       g = static_cast<std::uint8_t>(rgb >> 8), r = static_cast<std::uint8_t>(rgb);
    const int x0 = std::max(rect.Left, 0), x1 = std::min(rect.Right, dst.Width());
    const int bytes = dst.PixelBytes();
    for (int y = std::max(rect.Top, 0); y < std::min(rect.Bottom, dst.Height()); ++y) {
        std::uint8_t* p = dst.Row(y) + x0 * bytes;
        for (int x = x0; x < x1; ++x, p += bytes) {
            p[0] = b;
            p[1] = g;
            p[2] = r;
            if (bytes == 4) p[3] = 255;
        }
    }
}

namespace {

void WidenPixelsPlain(const std::uint8_t* bgr, std::uint8_t* bgrx, int from, int count) {
    for (int x = from; x < count; ++x) {
        bgrx[4 * x] = bgr[3 * x];
        bgrx[4 * x + 1] = bgr[3 * x + 1];
        bgrx[4 * x + 2] = bgr[3 * x + 2];
        bgrx[4 * x + 3] = 255;
    }
}

#ifdef TEVRIN_X86_PATHS
// Four pixels per shuffle; the loads read 16 bytes for 12, so the last
// group of a row goes the plain way.
__attribute__((target("ssse3"))) void WidenPixelsSsse3(const std::uint8_t* bgr, std::uint8_t* bgrx,
                                                       int count) {
    const __m128i spread = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    const __m128i opaque = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    int x = 0;
    for (; x + 6 <= count; x += 4) {
        const __m128i in = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bgr + 3 * x));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(bgrx + 4 * x),
                         _mm_or_si128(_mm_shuffle_epi8(in, spread), opaque));
    }
    WidenPixelsPlain(bgr, bgrx, x, count);
}

#endif

} // namespace

void WidenPixels(const std::uint8_t* bgr, std::uint8_t* bgrx, int count) {
#ifdef TEVRIN_X86_PATHS
    static const bool ssse3 = CpuHasSsse3();
    if (ssse3) return WidenPixelsSsse3(bgr, bgrx, count);
#endif
    WidenPixelsPlain(bgr, bgrx, 0, count);
}

} // namespace tevrin
