// SPDX-License-Identifier: MIT
#include "tools/Render.h"

#include "base/Errors.h"
#include "base/Paths.h"
#include "base/System.h"
#include "effects/BitmapHost.h"
#include "effects/Random.h"
#include "effects/Styles.h"
#include "gfx/Compose.h"
#include "gfx/Copy.h"
#include "gfx/Exif.h"
#include "gfx/PictureFile.h"
#include "gfx/Png.h"
#include "platform/SystemText.h"
#include "show/Slide.h"

#include <array>
#include <fstream>
#include <iterator>
#include <string_view>
#include <vector>

namespace tevrin {
namespace {

// Box-filtered reduction, so thin bars and speckles stay visible in sheets.
TBitmap24 Shrink(const TBitmap24& src, int w, int h) {
    TBitmap24 out(w, h);
    for (int y = 0; y < h; ++y) {
        int y0 = y * src.Height() / h, y1 = std::max(y0 + 1, (y + 1) * src.Height() / h);
        for (int x = 0; x < w; ++x) {
            int x0 = x * src.Width() / w, x1 = std::max(x0 + 1, (x + 1) * src.Width() / w);
            unsigned sum[3] = {0, 0, 0}, n = 0;
            for (int yy = y0; yy < y1; ++yy)
                for (int xx = x0; xx < x1; ++xx, ++n)
                    for (int c = 0; c < 3; ++c)
                        sum[c] += src.Row(yy)[xx * 3 + c];
            for (int c = 0; c < 3; ++c)
                out.Row(y)[x * 3 + c] = static_cast<std::uint8_t>(sum[c] / n);
        }
    }
    return out;
}

// A 5 x 7 pixel font for the labels of sheets: digits and a few signs.
constexpr std::string_view kGlyphChars = "0123456789%";
constexpr std::array<std::array<std::uint8_t, 7>, 11> kGlyphs{{
    {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E},
    {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E},
    {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F},
    {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E},
    {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02},
    {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E},
    {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E},
    {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08},
    {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E},
    {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C},
    {0x18, 0x19, 0x02, 0x04, 0x08, 0x13, 0x03},
}};

// Draws `text` at (x, y), each font pixel `scale` pixels wide, white on a
// dark plate so it reads over any picture.
void Label(TBitmap24& canvas, int x, int y, std::string_view text, int scale) {
    const int advance = 6 * scale;
    FillRect(
        canvas,
        {x - scale, y - scale, x + advance * static_cast<int>(text.size()) + scale, y + 8 * scale},
        0x202020);
    for (char c : text) {
        std::size_t g = kGlyphChars.find(c);
        if (g != std::string_view::npos)
            for (int row = 0; row < 7; ++row)
                for (int col = 0; col < 5; ++col)
                    if (kGlyphs[g][row] & (0x10 >> col))
                        FillRect(canvas,
                                 {x + col * scale, y + row * scale, x + (col + 1) * scale,
                                  y + (row + 1) * scale},
                                 0xFFFFFF);
        x += advance;
    }
}

// Lays frames out in a grid of `columns`, each shrunk to `thumb_w` wide,
// labelled below their top-left corner.
TBitmap24 Sheet(const std::vector<std::pair<std::string, TBitmap24>>& frames, int columns,
                int thumb_w) {
    const int w = frames.front().second.Width(), h = frames.front().second.Height();
    const int thumb_h = std::max(1, thumb_w * h / w), gap = 6;
    const int rows = (static_cast<int>(frames.size()) + columns - 1) / columns;
    TBitmap24 sheet(columns * (thumb_w + gap) + gap, rows * (thumb_h + gap) + gap);
    FillRect(sheet, {0, 0, sheet.Width(), sheet.Height()}, 0x505050);
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const int x = gap + static_cast<int>(i % columns) * (thumb_w + gap);
        const int y = gap + static_cast<int>(i / columns) * (thumb_h + gap);
        TBitmap24 thumb = Shrink(frames[i].second, thumb_w, thumb_h);
        StretchCopy(sheet, x, y, thumb_w, thumb_h, thumb, 0, 0, thumb_w, thumb_h);
        Label(sheet, x + 4, y + 4, frames[i].first, 2);
    }
    return sheet;
}

} // namespace

namespace {

// The picture file (any format the tools read) as the show's slide of it
// on a screen of the job's size.
TBitmap24 Slide(const std::string& path, const TRenderJob& job) {
    static const std::unique_ptr<TTextEngine> text = MakeSystemTextEngine();
    TShowChoices choices;
    choices.Fit = job.Fit;
    choices.BlurBorders = job.BlurBorders;
    try {
        return MakeSlide(ReadShowPicture(ReadFileBytes(path)), {}, choices, {job.Width, job.Height},
                         *text);
    } catch (const EError& e) {
        throw EError(msg::kInItem, {path, e.what()});
    }
}

} // namespace

void Render(const TRenderJob& job) {
    if (job.Width < 1 || job.Height < 1 || job.Width > 16384 || job.Height > 16384)
        throw EError(msg::kRenderSize);
    const TBitmap24 to = Slide(job.To, job);
    const TBitmap24 from =
        job.From.empty() ? TBitmap24(job.Width, job.Height) : Slide(job.From, job);
    std::vector<std::pair<std::string, TBitmap24>> frames;
    if (job.All) {
        for (const TStyleInfo& info : StyleTable())
            frames.emplace_back(std::to_string(info.Number),
                                RenderFrame(from, to, info.Number, job.Progress, job.Seed));
        WritePng(job.Output, Sheet(frames, 8, 200));
    } else if (job.Sheet) {
        for (int progress = 0; progress <= 100; progress += 10)
            frames.emplace_back(std::to_string(progress) + "%",
                                RenderFrame(from, to, job.Style, progress, job.Seed));
        WritePng(job.Output, Sheet(frames, 4, 320));
    } else {
        WritePng(job.Output, RenderFrame(from, to, job.Style, job.Progress, job.Seed));
    }
}

} // namespace tevrin
