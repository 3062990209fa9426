// Text through GDI: the target area of our bitmap is copied into a DIB
// section, the text drawn over it with a transparent background, and the
// result copied back.
#include "ui/Text.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <algorithm>
#include <cstring>

namespace tevrin {
namespace {

class TFontDc {
public:
    explicit TFontDc(const TFontSpec& font) {
        dc_ = CreateCompatibleDC(nullptr);
        font_ = CreateFontA(font.Height, 0, 0, 0, font.Bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                            OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                            DEFAULT_PITCH, font.Face.c_str());
        old_font_ = SelectObject(dc_, font_);
    }
    ~TFontDc() {
        SelectObject(dc_, old_font_);
        DeleteObject(font_);
        DeleteDC(dc_);
    }
    HDC Dc() const { return dc_; }

private:
    HDC dc_;
    HFONT font_;
    HGDIOBJ old_font_;
};

} // namespace

TTextExtent MeasureText(const TFontSpec& font, const std::string& text) {
    TFontDc dc(font);
    SIZE size{};
    GetTextExtentPoint32A(dc.Dc(), text.c_str(), static_cast<int>(text.size()), &size);
    return {size.cx, size.cy};
}

void PaintText(TBitmap24& bitmap, int x, int y, const TFontSpec& font, const std::string& text) {
    const TTextExtent extent = MeasureText(font, text);
    const int x0 = std::max(x, 0), y0 = std::max(y, 0);
    const int x1 = std::min(x + extent.Width, bitmap.Width()), y1 = std::min(y + extent.Height, bitmap.Height());
    if (x0 >= x1 || y0 >= y1) return;
    const int w = x1 - x0, h = y1 - y0;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = -h;  // top-down, as ours
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (dib == nullptr) return;
    const int stride = TBitmap24::StrideFor(w);
    auto* pixels = static_cast<std::uint8_t*>(bits);
    for (int row = 0; row < h; ++row)
        std::memcpy(pixels + row * stride, bitmap.Row(y0 + row) + x0 * 3, static_cast<std::size_t>(w) * 3);
    {
        TFontDc dc(font);
        HGDIOBJ old = SelectObject(dc.Dc(), dib);
        SetBkMode(dc.Dc(), TRANSPARENT);
        SetTextColor(dc.Dc(), RGB(font.Color & 0xFF, (font.Color >> 8) & 0xFF, (font.Color >> 16) & 0xFF));
        TextOutA(dc.Dc(), x - x0, y - y0, text.c_str(), static_cast<int>(text.size()));
        GdiFlush();
        SelectObject(dc.Dc(), old);
    }
    for (int row = 0; row < h; ++row)
        std::memcpy(bitmap.Row(y0 + row) + x0 * 3, pixels + row * stride, static_cast<std::size_t>(w) * 3);
    DeleteObject(dib);
}

} // namespace tevrin
