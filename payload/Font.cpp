// SPDX-License-Identifier: MIT
#include "payload/Font.h"

#include "base/Errors.h"
#include "gfx/Rect.h"

#include <array>

namespace tevrin {
namespace {

constexpr TColor Sys(int index) {
    return kSystemColorBase + index;
}

constexpr std::array<TIdentEntry, 49> kColorNames{{
    {clBlack, "clBlack"},
    {RGBColor(128, 0, 0), "clMaroon"},
    {RGBColor(0, 128, 0), "clGreen"},
    {RGBColor(128, 128, 0), "clOlive"},
    {RGBColor(0, 0, 128), "clNavy"},
    {RGBColor(128, 0, 128), "clPurple"},
    {RGBColor(0, 128, 128), "clTeal"},
    {RGBColor(128, 128, 128), "clGray"},
    {RGBColor(192, 192, 192), "clSilver"},
    {RGBColor(255, 0, 0), "clRed"},
    {RGBColor(0, 255, 0), "clLime"},
    {RGBColor(255, 255, 0), "clYellow"},
    {RGBColor(0, 0, 255), "clBlue"},
    {RGBColor(255, 0, 255), "clFuchsia"},
    {RGBColor(0, 255, 255), "clAqua"},
    {clWhite, "clWhite"},
    {RGBColor(192, 220, 192), "clMoneyGreen"},
    {RGBColor(166, 202, 240), "clSkyBlue"},
    {RGBColor(255, 251, 240), "clCream"},
    {RGBColor(160, 160, 164), "clMedGray"},
    {clNone, "clNone"},
    {clDefault, "clDefault"},
    {Sys(0), "clScrollBar"},
    {Sys(1), "clBackground"},
    {Sys(2), "clActiveCaption"},
    {Sys(3), "clInactiveCaption"},
    {Sys(4), "clMenu"},
    {Sys(5), "clWindow"},
    {Sys(6), "clWindowFrame"},
    {Sys(7), "clMenuText"},
    {Sys(8), "clWindowText"},
    {Sys(9), "clCaptionText"},
    {Sys(10), "clActiveBorder"},
    {Sys(11), "clInactiveBorder"},
    {Sys(12), "clAppWorkSpace"},
    {Sys(13), "clHighlight"},
    {Sys(14), "clHighlightText"},
    {Sys(15), "clBtnFace"},
    {Sys(16), "clBtnShadow"},
    {Sys(17), "clGrayText"},
    {Sys(18), "clBtnText"},
    {Sys(19), "clInactiveCaptionText"},
    {Sys(20), "clBtnHighlight"},
    {Sys(21), "cl3DDkShadow"},
    {Sys(22), "cl3DLight"},
    {Sys(23), "clInfoText"},
    {Sys(24), "clInfoBk"},
    {Sys(27), "clGradientActiveCaption"},
    {Sys(28), "clGradientInactiveCaption"},
}};

constexpr std::array<TIdentEntry, 18> kCharsetNames{{
    {0, "ANSI_CHARSET"},
    {1, "DEFAULT_CHARSET"},
    {2, "SYMBOL_CHARSET"},
    {77, "MAC_CHARSET"},
    {128, "SHIFTJIS_CHARSET"},
    {129, "HANGEUL_CHARSET"},
    {130, "JOHAB_CHARSET"},
    {134, "GB2312_CHARSET"},
    {136, "CHINESEBIG5_CHARSET"},
    {161, "GREEK_CHARSET"},
    {162, "TURKISH_CHARSET"},
    {177, "HEBREW_CHARSET"},
    {178, "ARABIC_CHARSET"},
    {186, "BALTIC_CHARSET"},
    {204, "RUSSIAN_CHARSET"},
    {222, "THAI_CHARSET"},
    {238, "EASTEUROPE_CHARSET"},
    {255, "OEM_CHARSET"},
}};

constexpr std::array<std::pair<TFontStyle, const char*>, 4> kStyleNames{{
    {fsBold, "fsBold"},
    {fsItalic, "fsItalic"},
    {fsUnderline, "fsUnderline"},
    {fsStrikeOut, "fsStrikeOut"},
}};

constexpr std::array<const char*, 3> kPitchNames{"fpDefault", "fpVariable", "fpFixed"};

} // namespace

TIdentTable ColorNames() {
    return kColorNames;
}
TIdentTable CharsetNames() {
    return kCharsetNames;
}

std::optional<std::string_view> IdentName(TIdentTable table, std::int32_t value) {
    for (const TIdentEntry& entry : table)
        if (entry.Value == value) return entry.Name;
    return std::nullopt;
}

std::optional<std::int32_t> IdentValue(TIdentTable table, std::string_view name) {
    for (const TIdentEntry& entry : table)
        if (SameText(entry.Name, name)) return entry.Value;
    return std::nullopt;
}

TFont::TFont(int pixels_per_inch) : pixels_per_inch_(pixels_per_inch > 0 ? pixels_per_inch : 96) {
    SetSize(8);
}

int TFont::Size() const {
    return -MulDiv(Height, 72, pixels_per_inch_);
}

void TFont::SetSize(int points) {
    Height = -MulDiv(points, pixels_per_inch_, 72);
}

std::string_view TFont::StyleName(TFontStyle style) {
    for (const auto& [bit, name] : kStyleNames)
        if (bit == style) return name;
    return {};
}

std::string_view TFont::PitchName(TFontPitch pitch) {
    return kPitchNames[static_cast<std::size_t>(pitch)];
}

bool TFont::ReadProperty(std::string_view name, TReader& reader) {
    if (SameText(name, "Charset")) {
        std::int32_t value = reader.ReadIntegerOrIdent(kCharsetNames);
        if (value < 0 || value > 255) throw EReadError(msg::kInvalidPropertyValue);
        Charset = value;
    } else if (SameText(name, "Color")) {
        Color = reader.ReadIntegerOrIdent(kColorNames);
    } else if (SameText(name, "Height")) {
        Height = reader.ReadInteger();
    } else if (SameText(name, "Size")) {
        SetSize(reader.ReadInteger());
    } else if (SameText(name, "Name")) {
        Name = reader.ReadString();
    } else if (SameText(name, "Style")) {
        Style = 0;
        for (const std::string& element : reader.ReadSet())
            for (const auto& [bit, style_name] : kStyleNames)
                if (SameText(element, style_name)) Style |= bit;
    } else if (SameText(name, "Pitch")) {
        std::string ident = reader.ReadIdent();
        std::size_t i = 0;
        while (i < kPitchNames.size() && !SameText(ident, kPitchNames[i]))
            ++i;
        if (i == kPitchNames.size()) throw EReadError(msg::kInvalidPropertyValue);
        Pitch = static_cast<TFontPitch>(i);
    } else {
        return false;
    }
    return true;
}

void TFont::WriteProperties(TWriter& writer, std::string_view prefix) const {
    std::string p(prefix);
    if (auto ident = IdentName(kCharsetNames, Charset))
        writer.WriteIdent(p + ".Charset", *ident);
    else
        writer.WriteInteger(p + ".Charset", Charset);
    if (auto ident = IdentName(kColorNames, Color))
        writer.WriteIdent(p + ".Color", *ident);
    else
        writer.WriteInteger(p + ".Color", Color);
    writer.WriteInteger(p + ".Height", Height);
    writer.WriteString(p + ".Name", Name);
    if (Pitch != TFontPitch::fpDefault) writer.WriteIdent(p + ".Pitch", PitchName(Pitch));
    std::vector<std::string> styles;
    for (const auto& [bit, name] : kStyleNames)
        if (Style & bit) styles.emplace_back(name);
    writer.WriteSet(p + ".Style", styles);
}

} // namespace tevrin
