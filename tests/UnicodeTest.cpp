// SPDX-License-Identifier: MIT
#include "base/Unicode.h"

#include "base/System.h"

#include <gtest/gtest.h>

namespace tevrin {
namespace {

TEST(Unicode, MalformedUtf8BecomesReplacementCharacters) {
    const struct {
        std::string in, out;
    } cases[] = {
        {"plain", "plain"},
        {"\u00E9\u65E5\U0001F600", "\u00E9\u65E5\U0001F600"}, // 2, 3 and 4 bytes
        {"\xC3", "\uFFFD"},                                   // truncated at the end
        {"a\xE6\x97z", "a\uFFFD\uFFFDz"},                     // truncated inside
        {"\xC0\xAF", "\uFFFD\uFFFD"},                         // overlong '/'
        {"\xE0\x80\xAF", "\uFFFD\uFFFD\uFFFD"},               // overlong, 3 bytes
        {"\xED\xA0\x80", "\uFFFD\uFFFD\uFFFD"},               // a surrogate
        {"\xF4\x90\x80\x80", "\uFFFD\uFFFD\uFFFD\uFFFD"},     // past U+10FFFF
        {"\xFF\xFE", "\uFFFD\uFFFD"},
        {"\x80x", "\uFFFDx"}, // a lone continuation
        {"\uFFFD", "\uFFFD"}, // the character itself is valid
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ValidUtf8(c.in), c.out) << c.in;
        EXPECT_EQ(IsValidUtf8(c.in), c.in == c.out) << c.in;
    }
}

TEST(Unicode, Utf16RoundTripsAndRepairsLoneSurrogates) {
    const std::string text = "Gr\u00FC\u00DFe \u039A\u03B1\u03BB\u03B7 \u65E5\u672C \U0001F600";
    EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16(text)), text);
    EXPECT_EQ(Utf16LeToUtf8(Utf8ToUtf16Le(text)), text);
    // U+1F600 is the pair D83D DE00, little-endian.
    EXPECT_EQ(Utf8ToUtf16Le("\U0001F600"), std::string("\x3D\xD8\x00\xDE", 4));
    EXPECT_EQ(Utf16ToUtf8(u"a\xD83D"
                          u"b"),
              "a\uFFFDb");
    EXPECT_EQ(Utf16ToUtf8(u"\xDE00"), "\uFFFD");
    EXPECT_EQ(Utf16LeToUtf8(std::string("A\0B", 3)), "A"); // an odd last byte is no unit
}

TEST(Unicode, Windows1252UpperHalfIsTypographyNotControls) {
    const struct {
        unsigned char byte;
        const char* utf8;
    } cases[] = {
        {0x80, "\u20AC"},
        {0x82, "\u201A"},
        {0x85, "\u2026"},
        {0x8A, "\u0160"},
        {0x93, "\u201C"},
        {0x94, "\u201D"},
        {0x96, "\u2013"},
        {0x99, "\u2122"},
        {0x9F, "\u0178"},
        {0xA0, "\u00A0"},
        {0xE9, "\u00E9"},
        {0xFF, "\u00FF"},
        // The five bytes the code page leaves unassigned keep their value.
        {0x81, "\u0081"},
        {0x8D, "\u008D"},
        {0x8F, "\u008F"},
        {0x90, "\u0090"},
        {0x9D, "\u009D"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Cp1252ToUtf8(std::string(1, static_cast<char>(c.byte))), c.utf8) << int(c.byte);
    std::string every;
    for (int b = 1; b < 256; ++b)
        every.push_back(static_cast<char>(b));
    const std::string converted = Cp1252ToUtf8(every);
    EXPECT_TRUE(IsValidUtf8(converted));
    EXPECT_EQ(converted.substr(0, 127), every.substr(0, 127));
}

TEST(Unicode, AnsiIsWindows1252WhereTheSystemSaysSo) {
    if (AnsiCodePage() != 1252) GTEST_SKIP() << "the system's ANSI code page is " << AnsiCodePage();
    EXPECT_EQ(AnsiToUtf8("Caf\xE9 \x80"
                         "5 \x93x\x94"),
              "Caf\u00E9 \u20AC5 \u201Cx\u201D");
}

} // namespace
} // namespace tevrin
