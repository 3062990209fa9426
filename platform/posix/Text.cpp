// Text through FreeType, with the face found by fontconfig; DejaVu Sans
// stands in for a face the system does not have, so every machine draws the
// same letters.
#include "ui/Text.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <memory>
#include <mutex>

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

namespace tevrin {
namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// The font file fontconfig chooses for `family`, when its family is that.
std::string MatchFile(const std::string& family, bool bold, bool exact) {
    const std::string name = family + (bold ? ":bold" : "");
    FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>(name.c_str()));
    if (pattern == nullptr) return {};
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    std::string path;
    if (match != nullptr) {
        FcChar8* file = nullptr;
        FcChar8* found = nullptr;
        if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch &&
            FcPatternGetString(match, FC_FAMILY, 0, &found) == FcResultMatch &&
            (!exact || Lower(reinterpret_cast<char*>(found)) == Lower(family)))
            path = reinterpret_cast<char*>(file);
        FcPatternDestroy(match);
    }
    FcPatternDestroy(pattern);
    return path;
}

class TFontCache {
public:
    // The face for `font` at its pixel size; null when no font file exists.
    FT_Face Face(const TFontSpec& font) {
        if (library_ == nullptr && FT_Init_FreeType(&library_) != 0) return nullptr;
        auto [it, added] = faces_.try_emplace(font.Face + (font.Bold ? ":bold" : ""), nullptr);
        if (added) {
            std::string path = MatchFile(font.Face, font.Bold, true);
            if (path.empty()) path = MatchFile("DejaVu Sans", font.Bold, false);
            if (path.empty() || FT_New_Face(library_, path.c_str(), 0, &it->second) != 0)
                it->second = nullptr;
        }
        FT_Face face = it->second;
        if (face == nullptr) return nullptr;
        const int height = std::max(1, std::abs(font.Height));
        if (font.Height < 0) FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(height));
        else {
            // A cell height: scale the em so ascender plus descender fill it.
            FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(height));
            const long cell = (face->size->metrics.ascender - face->size->metrics.descender) >> 6;
            if (cell > 0)
                FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(std::max(1L, height * height / cell)));
        }
        return face;
    }
    std::mutex Lock;

private:
    FT_Library library_ = nullptr;
    std::map<std::string, FT_Face> faces_;
};

TFontCache& Cache() {
    static TFontCache cache;
    return cache;
}

// Code points of ANSI (Windows-1252 treated as Latin-1) text.
FT_ULong CodePoint(char c) { return static_cast<unsigned char>(c); }

} // namespace

TTextExtent MeasureText(const TFontSpec& font, const std::string& text) {
    std::lock_guard lock(Cache().Lock);
    FT_Face face = Cache().Face(font);
    if (face == nullptr) return {};
    TTextExtent extent;
    for (char c : text)
        if (FT_Load_Char(face, CodePoint(c), FT_LOAD_DEFAULT) == 0)
            extent.Width += static_cast<int>(face->glyph->advance.x >> 6);
    extent.Height = static_cast<int>((face->size->metrics.ascender - face->size->metrics.descender) >> 6);
    return extent;
}

void PaintText(TBitmap24& bitmap, int x, int y, const TFontSpec& font, const std::string& text) {
    std::lock_guard lock(Cache().Lock);
    FT_Face face = Cache().Face(font);
    if (face == nullptr) return;
    const int baseline = y + static_cast<int>(face->size->metrics.ascender >> 6);
    const std::uint8_t colour[3] = {static_cast<std::uint8_t>(font.Color >> 16),
                                    static_cast<std::uint8_t>(font.Color >> 8),
                                    static_cast<std::uint8_t>(font.Color)};
    int pen = x;
    for (char c : text) {
        if (FT_Load_Char(face, CodePoint(c), FT_LOAD_RENDER) != 0) continue;
        const FT_GlyphSlot g = face->glyph;
        const FT_Bitmap& glyph = g->bitmap;
        for (unsigned row = 0; row < glyph.rows; ++row) {
            const int ty = baseline - g->bitmap_top + static_cast<int>(row);
            if (ty < 0 || ty >= bitmap.Height()) continue;
            const unsigned char* coverage = glyph.buffer + row * glyph.pitch;
            for (unsigned col = 0; col < glyph.width; ++col) {
                const int tx = pen + g->bitmap_left + static_cast<int>(col);
                const unsigned a = coverage[col];
                if (a == 0 || tx < 0 || tx >= bitmap.Width()) continue;
                std::uint8_t* p = bitmap.Row(ty) + tx * 3;
                for (int k = 0; k < 3; ++k) p[k] = static_cast<std::uint8_t>((colour[k] * a + p[k] * (255 - a) + 127) / 255);
            }
        }
        pen += static_cast<int>(g->advance.x >> 6);
    }
}

} // namespace tevrin
