// SPDX-License-Identifier: MIT
// Text through GDI's wide-character calls: the target area of our bitmap is
// copied into a DIB section, the text drawn over it with a transparent
// background, and the result copied back.
//
// GDI draws a character that the chosen face lacks as an empty box. The text
// is therefore split into runs, each drawn with the first face that has all
// of its characters: the chosen one, else a list of faces known to cover
// many scripts, else any face the system has.
#include "platform/SystemText.h"
#include "platform/win32/Wide.h"

#define WIN32_LEAN_AND_MEAN
#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <vector>
#include <windows.h>

namespace tevrin {
namespace {

constexpr const wchar_t* kFallbackFaces[] = {
    L"Segoe UI",
    L"Arial",
    L"Microsoft Sans Serif",
    L"Tahoma",
    L"Meiryo",
    L"Yu Gothic",
    L"MS UI Gothic",
    L"MS Gothic",
    L"Microsoft YaHei",
    L"SimSun",
    L"Malgun Gothic",
    L"Gulim",
    L"Nirmala UI",
    L"Segoe UI Symbol",
    L"Arial Unicode MS",
    L"DejaVu Sans",
    L"Droid Sans Fallback",
    L"Noto Sans CJK JP",
};

HFONT MakeFont(const TFontSpec& font, const std::wstring& face) {
    return CreateFontW(font.Height, 0, 0, 0, font.Bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                       DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH, face.c_str());
}

int CALLBACK AddFace(const LOGFONTW* font, const TEXTMETRICW*, DWORD, LPARAM list) {
    if (font->lfFaceName[0] != L'@') // vertical forms
        reinterpret_cast<std::set<std::wstring>*>(list)->insert(font->lfFaceName);
    return 1;
}

// Every face the system has, once per process.
const std::vector<std::wstring>& SystemFaces() {
    static const std::vector<std::wstring> faces = [] {
        std::set<std::wstring> names;
        HDC dc = CreateCompatibleDC(nullptr);
        LOGFONTW query{};
        query.lfCharSet = DEFAULT_CHARSET;
        EnumFontFamiliesExW(dc, &query, AddFace, reinterpret_cast<LPARAM>(&names), 0);
        DeleteDC(dc);
        return std::vector<std::wstring>(names.begin(), names.end());
    }();
    return faces;
}

// A memory device context with a font selected; the font is the caller's.
class TFontDc {
public:
    TFontDc() : dc_(CreateCompatibleDC(nullptr)) {}
    ~TFontDc() {
        if (old_font_ != nullptr) SelectObject(dc_, old_font_);
        DeleteDC(dc_);
    }
    HDC Dc() const { return dc_; }
    void Select(HFONT font) {
        HGDIOBJ old = SelectObject(dc_, font);
        if (old_font_ == nullptr) old_font_ = old;
    }

private:
    HDC dc_;
    HGDIOBJ old_font_ = nullptr;
};

bool HasGlyphs(HDC dc, HFONT font, const wchar_t* text, int count) {
    SelectObject(dc, font);
    std::vector<WORD> glyphs(static_cast<std::size_t>(count));
    if (GetGlyphIndicesW(dc, text, count, glyphs.data(), GGI_MARK_NONEXISTING_GLYPHS) == GDI_ERROR)
        return false;
    return std::none_of(glyphs.begin(), glyphs.end(), [](WORD g) { return g == 0xFFFF; });
}

struct TRun {
    std::size_t Start, Count;
    HFONT Font;
};

// The fonts of one text at one size, and the runs that use them.
class TLayout {
public:
    TLayout(const TFontSpec& font, const std::wstring& text) : spec_(font), text_(text) {
        fonts_.push_back(MakeFont(font, Widen(font.Face)));
        dc_.Select(fonts_[0]);
        Split();
    }
    ~TLayout() {
        dc_.Select(fonts_[0]);
        SelectObject(dc_.Dc(), GetStockObject(SYSTEM_FONT));
        for (HFONT f : fonts_)
            DeleteObject(f);
    }

    const std::vector<TRun>& Runs() const { return runs_; }
    const std::wstring& Text() const { return text_; }

    TTextExtent Extent() {
        TTextExtent extent;
        SelectObject(dc_.Dc(), fonts_[0]);
        SIZE size{};
        GetTextExtentPoint32W(dc_.Dc(), L" ", 1, &size);
        extent.Height = size.cy;
        for (const TRun& run : runs_)
            extent.Width += RunWidth(run);
        return extent;
    }

    int RunWidth(const TRun& run) {
        SelectObject(dc_.Dc(), run.Font);
        SIZE size{};
        GetTextExtentPoint32W(dc_.Dc(), text_.data() + run.Start, static_cast<int>(run.Count),
                              &size);
        return size.cx;
    }

    // The ascent of the chosen face: runs in other faces share its baseline.
    int Ascent(HFONT font) {
        SelectObject(dc_.Dc(), font);
        TEXTMETRICW metrics{};
        GetTextMetricsW(dc_.Dc(), &metrics);
        return metrics.tmAscent;
    }
    HFONT Primary() const { return fonts_[0]; }

private:
    // Characters outside the basic plane and line controls stay with the
    // chosen face: the glyph check works on single UTF-16 units.
    static bool Checkable(wchar_t c) { return c >= 0x20 && (c < 0xD800 || c > 0xDFFF); }

    HFONT FontFor(wchar_t c) {
        if (!Checkable(c) || HasGlyphs(dc_.Dc(), fonts_[0], &c, 1)) return fonts_[0];
        for (std::size_t i = 1; i < fonts_.size(); ++i)
            if (HasGlyphs(dc_.Dc(), fonts_[i], &c, 1)) return fonts_[i];
        auto try_face = [&](const std::wstring& face) -> HFONT {
            if (!tried_.insert(face).second) return nullptr;
            HFONT f = MakeFont(spec_, face);
            if (f != nullptr && HasGlyphs(dc_.Dc(), f, &c, 1)) {
                fonts_.push_back(f);
                return f;
            }
            if (f != nullptr) DeleteObject(f);
            return nullptr;
        };
        for (const wchar_t* face : kFallbackFaces)
            if (HFONT f = try_face(face)) return f;
        for (const std::wstring& face : SystemFaces())
            if (HFONT f = try_face(face)) return f;
        return fonts_[0];
    }

    void Split() {
        for (std::size_t i = 0; i < text_.size(); ++i) {
            HFONT f = FontFor(text_[i]);
            if (!runs_.empty() && runs_.back().Font == f)
                ++runs_.back().Count;
            else
                runs_.push_back({i, 1, f});
        }
        SelectObject(dc_.Dc(), fonts_[0]);
    }

    TFontSpec spec_;
    std::wstring text_;
    TFontDc dc_;
    std::vector<HFONT> fonts_;
    std::set<std::wstring> tried_;
    std::vector<TRun> runs_;
};

// GDI objects of one thread at a time: the fallback search selects fonts in
// and out of a shared context.
std::mutex g_text_lock;

class TGdiText final : public TTextEngine {
public:
    TTextExtent Measure(const TFontSpec& font, const std::string& text) override;
    void Paint(TBitmap24& bitmap, int x, int y, const TFontSpec& font,
               const std::string& text) override;
};

TTextExtent TGdiText::Measure(const TFontSpec& font, const std::string& text) {
    std::lock_guard lock(g_text_lock);
    TLayout layout(font, Widen(text));
    return layout.Extent();
}

void TGdiText::Paint(TBitmap24& bitmap, int x, int y, const TFontSpec& font,
                     const std::string& text) {
    std::lock_guard lock(g_text_lock);
    TLayout layout(font, Widen(text));
    const TTextExtent extent = layout.Extent();
    const int x0 = std::max(x, 0), y0 = std::max(y, 0);
    const int x1 = std::min(x + extent.Width, bitmap.Width()),
              y1 = std::min(y + extent.Height, bitmap.Height());
    if (x0 >= x1 || y0 >= y1) return;
    const int w = x1 - x0, h = y1 - y0;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = -h; // top-down, as ours
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (dib == nullptr) return;
    const int stride = TBitmap24::StrideFor(w);
    auto* pixels = static_cast<std::uint8_t*>(bits);
    for (int row = 0; row < h; ++row)
        std::memcpy(pixels + row * stride, bitmap.Row(y0 + row) + x0 * 3,
                    static_cast<std::size_t>(w) * 3);
    {
        TFontDc dc;
        dc.Select(layout.Primary());
        HGDIOBJ old = SelectObject(dc.Dc(), dib);
        SetBkMode(dc.Dc(), TRANSPARENT);
        SetTextColor(dc.Dc(),
                     RGB(font.Color & 0xFF, (font.Color >> 8) & 0xFF, (font.Color >> 16) & 0xFF));
        const int baseline = y - y0 + layout.Ascent(layout.Primary());
        int pen = x - x0;
        for (const TRun& run : layout.Runs()) {
            const int width = layout.RunWidth(run);
            SelectObject(dc.Dc(), run.Font);
            TEXTMETRICW metrics{};
            GetTextMetricsW(dc.Dc(), &metrics);
            TextOutW(dc.Dc(), pen, baseline - metrics.tmAscent, layout.Text().data() + run.Start,
                     static_cast<int>(run.Count));
            pen += width;
        }
        GdiFlush();
        SelectObject(dc.Dc(), old);
    }
    for (int row = 0; row < h; ++row)
        std::memcpy(bitmap.Row(y0 + row) + x0 * 3, pixels + row * stride,
                    static_cast<std::size_t>(w) * 3);
    DeleteObject(dib);
}

} // namespace

std::unique_ptr<TTextEngine> MakeSystemTextEngine() {
    return std::make_unique<TGdiText>();
}

} // namespace tevrin
