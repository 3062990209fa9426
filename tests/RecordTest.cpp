// SPDX-License-Identifier: MIT
#include "base/Errors.h"
#include "payload/CommaList.h"
#include "payload/SSFileLocations.h"

#include <gtest/gtest.h>

namespace tevrin {
namespace {

TEST(CommaList, TextToEntries) {
    struct {
        const char* text;
        TStringList entries;
    } cases[] = {
        {"", {}},
        {"\"\"", {""}},
        {"1,2,", {"1", "2", ""}},
        {"1, 2", {"1", "2"}},
        {",1", {"", "1"}},
        {"1,,2", {"1", "", "2"}},
        {"a b.mp3,c.wav", {"a", "b.mp3", "c.wav"}}, // an unquoted blank splits
        {"\"a b.mp3\",c.wav", {"a b.mp3", "c.wav"}},
        {"\"say \"\"hi\"\"\",x", {"say \"hi\"", "x"}},
        {"  \t1 2  ", {"1", "2"}},
        {"\"open", {"open"}}, // a missing closing quote takes the rest
    };
    for (const auto& c : cases)
        EXPECT_EQ(CommaTextToEntries(c.text), c.entries) << c.text;
    EXPECT_EQ(CommaTextToEntries(std::string_view("1\0,2", 4)), TStringList{"1"});
}

TEST(CommaList, EntriesToTextRoundTrips) {
    struct {
        TStringList entries;
        const char* text;
    } cases[] = {
        {{}, ""},
        {{""}, "\"\""},
        {{"1", "2", "3"}, "1,2,3"},
        {{"a b.mp3", "c,d", "e\"f", ""}, "\"a b.mp3\",\"c,d\",\"e\"\"f\","},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(EntriesToCommaText(c.entries), c.text);
        EXPECT_EQ(CommaTextToEntries(EntriesToCommaText(c.entries)), c.entries) << c.text;
    }
}

TEST(Record, ListOperationsCheckTheListTheyRead) {
    TSSFileLocations r(96);
    EXPECT_EQ(r.PicCount(), 0);
    r.SetCommaText(TSSFileLocations::PicList, "1,2,");
    EXPECT_EQ(r.PicCount(), 3);
    EXPECT_EQ(r.PicOffset(2), 0);
    r.SetCommaText(TSSFileLocations::SndList, "10,$20,junk");
    r.SetCommaText(TSSFileLocations::SndFileNamesList, "a.wav,b.wav");
    r.SetCommaText(TSSFileLocations::SndSizesList, "5");
    EXPECT_EQ(r.SndCount(), 3);
    EXPECT_EQ(r.SndOffset(1), 32);
    EXPECT_EQ(r.SndOffset(2), 0);
    EXPECT_EQ(r.SndFileName(1), "b.wav");
    for (auto call : std::vector<std::function<void()>>{
             [&] { r.SndFileName(2); }, [&] { r.SndSize(1); }, [&] { r.PicOffset(-1); },
             [&] { r.PicOffset(3); }, [&] { r.FlashOffset(0); }, [&] { r.FlashFileName(0); }}) {
        try {
            call();
            ADD_FAILURE() << "no error";
        } catch (const EError& e) {
            EXPECT_STREQ(e.what(), "Index is out of bounds");
        }
    }
    EXPECT_EQ(r.SndCount(), 3);
}

TEST(Record, FontDefaultsAndSizeConversion) {
    TSSFileLocations r(96);
    EXPECT_EQ(r.TextFont.Name, "MS Sans Serif");
    EXPECT_EQ(r.TextFont.Size(), 8);
    EXPECT_EQ(r.TextFont.Height, -11);
    EXPECT_EQ(r.TextFont.Color, clWindowText);
    EXPECT_EQ(r.TextFont.Color, static_cast<TColor>(0x80000008u));
    EXPECT_EQ(r.TextFont.Charset, 1);
    r.TextFont.Height = -32;
    EXPECT_EQ(r.TextFont.Size(), 24);
    TFont large(120);
    large.SetSize(24);
    EXPECT_EQ(large.Height, -40);
    large.Height = -13; // 7.8 points rounds to 8
    EXPECT_EQ(large.Size(), 8);
}

TEST(Record, NameTables) {
    EXPECT_EQ(IdentValue(ColorNames(), "clSkyBlue"), RGBColor(166, 202, 240));
    EXPECT_EQ(IdentValue(ColorNames(), "clGradientInactiveCaption"),
              static_cast<TColor>(0x8000001Cu));
    EXPECT_EQ(IdentValue(ColorNames(), "clNone"), 0x1FFFFFFF);
    EXPECT_EQ(IdentName(ColorNames(), RGBColor(0, 0, 255)), "clBlue");
    EXPECT_EQ(IdentValue(CharsetNames(), "EASTEUROPE_CHARSET"), 238);
    EXPECT_EQ(IdentName(CharsetNames(), 77), "MAC_CHARSET");
    EXPECT_FALSE(IdentName(CharsetNames(), 3));
}

} // namespace
} // namespace tevrin
