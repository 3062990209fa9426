// SPDX-License-Identifier: MIT
// The font of the record's caption text and the name tables of its colour
// and charset values.
#pragma once

#include "payload/Stream.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tevrin {

// A colour: red + 256 * green + 65536 * blue with the top byte 0, or a
// system colour (top bit set, the system colour index in the low byte).
using TColor = std::int32_t;

inline constexpr TColor kSystemColorBase = static_cast<TColor>(0x80000000u);
inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clBlue = 0xFF0000;
inline constexpr TColor clWhite = 0xFFFFFF;
inline constexpr TColor clNone = 0x1FFFFFFF;
inline constexpr TColor clDefault = 0x20000000;
inline constexpr TColor clWindowText = kSystemColorBase + 8;

inline constexpr int kDefaultCharset = 1;

constexpr TColor RGBColor(int red, int green, int blue) {
    return red | (green << 8) | (blue << 16);
}

TIdentTable ColorNames();
TIdentTable CharsetNames();

// The table's name for a value, when it has one.
std::optional<std::string_view> IdentName(TIdentTable table, std::int32_t value);
std::optional<std::int32_t> IdentValue(TIdentTable table, std::string_view name);

enum TFontStyle : std::uint8_t {
    fsBold = 1,
    fsItalic = 2,
    fsUnderline = 4,
    fsStrikeOut = 8,
};

enum class TFontPitch { fpDefault, fpVariable, fpFixed };

// Logical pixels per inch where no screen is asked (the tools): the common
// setting, so that a record written by a tool does not depend on the display
// of the machine that wrote it.
inline constexpr int kDefaultPixelsPerInch = 96;

class TFont final : public TPersistent {
public:
    // Starts as "MS Sans Serif", 8 points, clWindowText, DEFAULT_CHARSET.
    // Sizes in points convert to heights in pixels at `pixels_per_inch`.
    explicit TFont(int pixels_per_inch = kDefaultPixelsPerInch);

    std::string Name = "MS Sans Serif";
    // Character height in pixels, negative as the platform gives font heights.
    int Height = 0;
    TColor Color = clWindowText;
    int Charset = kDefaultCharset;
    std::uint8_t Style = 0; // TFontStyle bits
    TFontPitch Pitch = TFontPitch::fpDefault;

    // Points, through the screen's logical pixels per inch, rounded.
    int Size() const;
    void SetSize(int points);
    int PixelsPerInch() const { return pixels_per_inch_; }

    void Assign(const TFont& other) { *this = other; }

    bool ReadProperty(std::string_view name, TReader& reader) override;
    // Writes "prefix.Charset", ... in the stored order.
    void WriteProperties(TWriter& writer, std::string_view prefix) const;

    static std::string_view StyleName(TFontStyle style);
    static std::string_view PitchName(TFontPitch pitch);

private:
    int pixels_per_inch_;
};

} // namespace tevrin
