// SPDX-License-Identifier: MIT
#include "base/IntConv.h"

#include "base/Errors.h"
#include "base/Paths.h"
#include "payload/Trailer.h"
#include "tests/TestSupport.h"

#include <gtest/gtest.h>

namespace tevrin {
namespace {

TEST(IntConv, AcceptsTheStoredNumberForms) {
    struct {
        const char* text;
        std::int32_t expected;
    } cases[] = {
        {"0", 0},
        {"4048304", 4048304},
        {"   42", 42},
        {"+7", 7},
        {"-5", -5},
        {"$10", 16},
        {"0x10", 16},
        {"0X1f", 31},
        {"x10", 16},
        {"X10", 16},
        {"-$10", -16},
        {"2147483647", 2147483647},
        {"-2147483648", INT32_MIN},
        {"$7FFFFFFF", 0x7FFFFFFF},
    };
    for (const auto& c : cases)
        EXPECT_EQ(StrToIntDef(c.text, -99), c.expected) << c.text;
}

TEST(IntConv, GivesTheDefaultForTextsThatDoNotConvert) {
    for (const char* text : {"", " ", "12a", "12 ", "-", "$", "0x", "x", "1.5", "$G", "2147483648",
                             "-2147483649", "$80000000", "99999999999999999999", "1\t", "\t1"})
        EXPECT_EQ(StrToIntDef(text, -99), -99) << '"' << text << '"';
}

TEST(Trailer, FieldsArePaddedTextsStrippedAtBothEnds) {
    test::TScratchDir dir;
    auto field = [&](const std::string& tail) {
        test::WriteBytes(dir.File("f"), test::AsBytes("image bytes here" + tail));
        TFile file = OpenOwnFile(dir.File("f"));
        auto a = ReadTrailerField(file, TTrailerField::PayloadLength);
        auto b = ReadTrailerField(file, TTrailerField::RecordOffset);
        return std::make_pair(a.value_or(-1), b.value_or(-1));
    };
    EXPECT_EQ(field("1254867             4048304             "), std::make_pair(1254867, 4048304));
    auto pad = [](std::string text) {
        text.resize(20, ' ');
        return text;
    };
    EXPECT_EQ(field(pad("   1254867") + pad("\t 4048304")), std::make_pair(1254867, 4048304));
    EXPECT_EQ(field(std::string(40, ' ')), std::make_pair(0, 0));
    EXPECT_EQ(field("abc                 $10                 "), std::make_pair(0, 16));
    EXPECT_EQ(MakeTrailer(1254867, 4048304), "1254867             4048304             ");
}

TEST(Trailer, AFileShorterThanTheTrailerHasNoFields) {
    test::TScratchDir dir;
    test::WriteBytes(dir.File("short"), test::AsBytes(std::string(39, '1')));
    TFile file = OpenOwnFile(dir.File("short"));
    EXPECT_FALSE(ReadTrailerField(file, TTrailerField::PayloadLength));
    EXPECT_FALSE(ReadTrailerField(file, TTrailerField::RecordOffset));
}

TEST(Trailer, AMissingFileCannotBeOpened) {
    test::TScratchDir dir;
    std::string path = dir.File("missing.scr");
    try {
        OpenOwnFile(path);
        FAIL() << "opened a missing file";
    } catch (const EError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open file " + path);
    }
}

TEST(Paths, JoinPathPutsExactlyOneDelimiterBetween) {
    std::string d(1, kPathDelim);
    EXPECT_EQ(JoinPath("tmp" + d, "a.mp3"), "tmp" + d + "a.mp3");
    EXPECT_EQ(JoinPath("tmp", "a.mp3"), "tmp" + d + "a.mp3");
    EXPECT_EQ(ExtractFilePath("dir" + d + "saver.scr"), "dir" + d);
    EXPECT_EQ(ExtractFileName("dir" + d + "saver.scr"), "saver.scr");
    EXPECT_EQ(ExtractFilePath("saver.scr"), "");
}

} // namespace
} // namespace tevrin
