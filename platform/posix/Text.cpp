// SPDX-License-Identifier: MIT
// Text through FreeType, with faces found by fontconfig. DejaVu Sans stands
// in for a face the system does not have, so every machine draws the same
// letters; a character that the face lacks is drawn from the face fontconfig
// names for it (a Japanese caption in a Latin face does not come out as
// empty boxes). Every face of a line shares the chosen face's baseline.
#include "base/Unicode.h"
#include "platform/SystemText.h"

#include <algorithm>
#include <cctype>
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include <map>
#include <memory>
#include <mutex>
#include FT_FREETYPE_H

namespace tevrin {
namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// The file of the font fontconfig matches to `pattern` (which it takes),
// when `accept` takes the match.
template <typename TAccept> std::string MatchedFile(FcPattern* pattern, TAccept accept) {
    if (pattern == nullptr) return {};
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    std::string path;
    FcChar8* file = nullptr;
    if (match != nullptr && FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch &&
        accept(match))
        path = reinterpret_cast<char*>(file);
    if (match != nullptr) FcPatternDestroy(match);
    FcPatternDestroy(pattern);
    return path;
}

// The font file fontconfig chooses for `family`, when its family is that.
std::string MatchFile(const std::string& family, bool bold, bool exact) {
    const std::string name = family + (bold ? ":bold" : "");
    return MatchedFile(
        FcNameParse(reinterpret_cast<const FcChar8*>(name.c_str())), [&](FcPattern* match) {
            FcChar8* found = nullptr;
            return FcPatternGetString(match, FC_FAMILY, 0, &found) == FcResultMatch &&
                   (!exact || Lower(reinterpret_cast<char*>(found)) == Lower(family));
        });
}

// The font file fontconfig chooses for one character, when it has the
// character.
std::string MatchFileFor(char32_t c, bool bold) {
    FcPattern* pattern = FcPatternCreate();
    FcCharSet* wanted = FcCharSetCreate();
    FcCharSetAddChar(wanted, c);
    FcPatternAddCharSet(pattern, FC_CHARSET, wanted);
    FcCharSetDestroy(wanted); // the pattern holds its own reference
    if (bold) FcPatternAddInteger(pattern, FC_WEIGHT, FC_WEIGHT_BOLD);
    return MatchedFile(pattern, [&](FcPattern* match) {
        FcCharSet* has = nullptr;
        return FcPatternGetCharSet(match, FC_CHARSET, 0, &has) == FcResultMatch &&
               FcCharSetHasChar(has, c);
    });
}

class TFontCache {
public:
    // The chosen face for `font`; null when no font file exists at all.
    FT_Face Primary(const TFontSpec& font) {
        if (library_ == nullptr && FT_Init_FreeType(&library_) != 0) return nullptr;
        auto [it, added] = primary_paths_.try_emplace(font.Face + (font.Bold ? ":bold" : ""));
        if (added) {
            it->second = MatchFile(font.Face, font.Bold, true);
            if (it->second.empty()) it->second = MatchFile("DejaVu Sans", font.Bold, false);
        }
        return Sized(Load(it->second), font);
    }

    // The face that draws `c`: the primary one when it has the character,
    // else fontconfig's choice for it, else the primary one.
    FT_Face For(FT_Face primary, const TFontSpec& font, char32_t c) {
        if (c < 0x20 || FT_Get_Char_Index(primary, c) != 0) return primary;
        auto [it, added] = fallback_paths_.try_emplace({c, font.Bold});
        if (added) it->second = MatchFileFor(c, font.Bold);
        FT_Face face = Load(it->second);
        return face != nullptr ? Sized(face, font) : primary;
    }

    std::mutex Lock;

private:
    FT_Face Load(const std::string& path) {
        if (path.empty()) return nullptr;
        auto [it, added] = faces_.try_emplace(path, nullptr);
        if (added && FT_New_Face(library_, path.c_str(), 0, &it->second) != 0) it->second = nullptr;
        return it->second;
    }

    static FT_Face Sized(FT_Face face, const TFontSpec& font) {
        if (face == nullptr) return nullptr;
        const int height = std::max(1, std::abs(font.Height));
        FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(height));
        if (font.Height > 0) {
            // A cell height: scale the em so ascender plus descender fill it.
            const long cell = (face->size->metrics.ascender - face->size->metrics.descender) >> 6;
            if (cell > 0)
                FT_Set_Pixel_Sizes(face, 0,
                                   static_cast<FT_UInt>(std::max(1L, height * height / cell)));
        }
        return face;
    }

    FT_Library library_ = nullptr;
    std::map<std::string, std::string> primary_paths_;
    std::map<std::pair<char32_t, bool>, std::string> fallback_paths_;
    std::map<std::string, FT_Face> faces_;
};

TFontCache& Cache() {
    static TFontCache cache;
    return cache;
}

// Calls `glyph(face, pen)` for each character of `text` with its face loaded
// (FT_LOAD_RENDER when `render`), and returns the pen's final advance.
template <typename TGlyph>
int Layout(FT_Face primary, const TFontSpec& font, const std::string& text, bool render,
           TGlyph glyph) {
    int pen = 0;
    for (std::size_t at = 0; at < text.size();) {
        const char32_t c = NextCodePoint(text, at);
        FT_Face face = Cache().For(primary, font, c);
        if (FT_Load_Char(face, c, render ? FT_LOAD_RENDER : FT_LOAD_DEFAULT) != 0) continue;
        glyph(face, pen);
        pen += static_cast<int>(face->glyph->advance.x >> 6);
    }
    return pen;
}

int LineHeight(FT_Face face) {
    return static_cast<int>((face->size->metrics.ascender - face->size->metrics.descender) >> 6);
}

class TFreeTypeText final : public TTextEngine {
public:
    TTextExtent Measure(const TFontSpec& font, const std::string& text) override;
    void Paint(TBitmap24& bitmap, int x, int y, const TFontSpec& font,
               const std::string& text) override;
};

TTextExtent TFreeTypeText::Measure(const TFontSpec& font, const std::string& text) {
    std::lock_guard lock(Cache().Lock);
    FT_Face face = Cache().Primary(font);
    if (face == nullptr) return {};
    TTextExtent extent;
    extent.Width = Layout(face, font, text, false, [](FT_Face, int) {});
    // Measuring may have resized a shared face; the primary's own metrics count.
    extent.Height = LineHeight(Cache().Primary(font));
    return extent;
}

void TFreeTypeText::Paint(TBitmap24& bitmap, int x, int y, const TFontSpec& font,
                          const std::string& text) {
    std::lock_guard lock(Cache().Lock);
    FT_Face primary = Cache().Primary(font);
    if (primary == nullptr) return;
    const int baseline = y + static_cast<int>(primary->size->metrics.ascender >> 6);
    const std::uint8_t colour[3] = {static_cast<std::uint8_t>(font.Color >> 16),
                                    static_cast<std::uint8_t>(font.Color >> 8),
                                    static_cast<std::uint8_t>(font.Color)};
    Layout(primary, font, text, true, [&](FT_Face face, int pen) {
        const FT_GlyphSlot g = face->glyph;
        const FT_Bitmap& glyph = g->bitmap;
        for (unsigned row = 0; row < glyph.rows; ++row) {
            const int ty = baseline - g->bitmap_top + static_cast<int>(row);
            if (ty < 0 || ty >= bitmap.Height()) continue;
            const unsigned char* coverage = glyph.buffer + row * glyph.pitch;
            for (unsigned col = 0; col < glyph.width; ++col) {
                const int tx = x + pen + g->bitmap_left + static_cast<int>(col);
                const unsigned a = coverage[col];
                if (a == 0 || tx < 0 || tx >= bitmap.Width()) continue;
                std::uint8_t* p = bitmap.Row(ty) + tx * 3;
                for (int k = 0; k < 3; ++k)
                    p[k] =
                        static_cast<std::uint8_t>((colour[k] * a + p[k] * (255 - a) + 127) / 255);
            }
        }
    });
}

} // namespace

std::unique_ptr<TTextEngine> MakeSystemTextEngine() {
    return std::make_unique<TFreeTypeText>();
}

} // namespace tevrin
