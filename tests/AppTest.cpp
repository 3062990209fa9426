// SPDX-License-Identifier: MIT
#include "app/CommandLine.h"
#include "app/RunOptions.h"
#include "base/Errors.h"
#include "base/Sizes.h"
#include "payload/Payload.h"
#include "tests/TestSupport.h"
#include "ui/Keys.h"

#include <gtest/gtest.h>

namespace tevrin {
namespace {

TEST(CommandLine, TheFirstTwoCharactersSettleTheMode) {
    struct {
        std::vector<std::string> args;
        TSaverMode mode;
    } cases[] = {
        {{}, smSettings},
        {{""}, smSettings},
        {{"/c"}, smSettings},
        {{"-C"}, smSettings},
        {{"c"}, smSettings},
        {{"/c:1234"}, smSettings},
        {{"Config"}, smSettings},
        {{"/s"}, smSaver},
        {{"/S"}, smSaver},
        {{"-s"}, smSaver},
        {{"x"}, smSaver},
        {{"/"}, smSaver},
        {{"/x"}, smSaver},
        {{"/a", "123"}, smChangePassword},
        {{"ABC"}, smChangePassword},
        {{"-a"}, smChangePassword},
        {{"/p", "4242"}, smPreview},
        {{"Preview"}, smPreview},
        {{"-P"}, smPreview},
        {{"/p:1234"}, smPreview},
    };
    for (const auto& c : cases) {
        std::string shown;
        for (const auto& a : c.args)
            shown += a + " ";
        EXPECT_EQ(ParseCommandLine(c.args).Mode, c.mode) << shown;
    }
    // A handle glued to the switch is not read: the second argument is empty.
    EXPECT_EQ(ParseCommandLine({"/p:1234"}).Second, "");
    EXPECT_EQ(ParseCommandLine({"/p", "0x1f"}).Second, "0X1F");
}

TEST(RunOptions, PlatformOptionsAreTakenOutAndTheRestIsTheModes) {
    TRunOptions o = ParseRunOptions({"--window", "/s", "--size", "640x480"}, nullptr);
    EXPECT_TRUE(o.Error.empty());
    EXPECT_TRUE(o.Windowed);
    EXPECT_EQ(o.Width, 640);
    EXPECT_EQ(o.Height, 480);
    EXPECT_EQ(o.SaverArgs, std::vector<std::string>{"/s"});
    EXPECT_FALSE(o.Embed);

    EXPECT_EQ(ParseRunOptions({"--window"}, nullptr).SaverArgs, std::vector<std::string>{"/S"});

    o = ParseRunOptions({"/p", "4242"}, nullptr);
    EXPECT_EQ(o.SaverArgs, (std::vector<std::string>{"/p", "4242"}));
    EXPECT_EQ(o.Platform, "");

    o = ParseRunOptions({"--platform", "headless", "--seconds", "3", "--dump", "out"}, nullptr);
    EXPECT_EQ(o.Platform, "headless");
    EXPECT_EQ(o.Seconds, 3);
    EXPECT_EQ(o.Dump, "out");
    EXPECT_FALSE(o.RealTime);
    EXPECT_EQ(o.SaverArgs, std::vector<std::string>{"/S"});
    EXPECT_EQ(o.PixelBytes, 3);
    o = ParseRunOptions({"--platform", "headless", "--real-time", "--pixel-bytes", "4", "/s"},
                        nullptr);
    EXPECT_TRUE(o.RealTime);
    EXPECT_EQ(o.PixelBytes, 4);
    EXPECT_EQ(o.SaverArgs, std::vector<std::string>{"/s"});
    EXPECT_NE(ParseRunOptions({"--pixel-bytes", "2"}, nullptr).Error, "");
}

TEST(RunOptions, ThePlayersKeysAreTimesAndNamesOrCodes) {
    TRunOptions o = ParseRunOptions(
        {"--player", "--full-screen", "--keys", "1000:right,1500:Left,2000:space,2500:q,3000:27"},
        nullptr);
    ASSERT_TRUE(o.Error.empty()) << o.Error;
    EXPECT_TRUE(o.Player);
    EXPECT_TRUE(o.FullScreen);
    std::vector<std::pair<std::uint32_t, int>> keys;
    for (const auto& press : o.Keys)
        keys.emplace_back(press.At, press.Key);
    EXPECT_EQ(
        keys,
        (std::vector<std::pair<std::uint32_t, int>>{
            {1000, kVkRight}, {1500, kVkLeft}, {2000, kVkSpace}, {2500, 'Q'}, {3000, kVkEscape}}));
    for (const char* bad : {"1000", "x:right", "1000:sideways", "1000:300", "1000:right,"})
        EXPECT_FALSE(ParseRunOptions({"--keys", bad}, nullptr).Error.empty()) << bad;
}

TEST(RunOptions, DaemonsGetTheSaverInTheirWindow) {
    // Started by a daemon without switches: the saver, embedded.
    TRunOptions o = ParseRunOptions({}, "0x1e00003");
    EXPECT_EQ(o.Embed, TWindowId{0x1e00003});
    EXPECT_EQ(o.SaverArgs, std::vector<std::string>{"/S"});
    // The variable is ignored where the switches ask for another mode.
    o = ParseRunOptions({"/c"}, "0x1e00003");
    EXPECT_FALSE(o.Embed);
    o = ParseRunOptions({"/p", "77"}, "0x1e00003");
    EXPECT_FALSE(o.Embed);
    // An explicit window wins over the variable, the root over nothing.
    EXPECT_EQ(ParseRunOptions({"-window-id", "1234"}, "0x1e00003").Embed, TWindowId{1234});
    EXPECT_EQ(ParseRunOptions({"--window-id", "0x10"}, nullptr).Embed, TWindowId{16});
    EXPECT_EQ(ParseRunOptions({"-root"}, nullptr).Embed, TWindowId{0});
    EXPECT_EQ(ParseRunOptions({"--root"}, "").Embed, TWindowId{0});
    EXPECT_EQ(ParseRunOptions({"--root"}, "0x1e00003").Embed, TWindowId{0x1e00003});
    EXPECT_FALSE(ParseRunOptions({"/s"}, "").Embed);
    EXPECT_FALSE(ParseRunOptions({"/s"}, "junk").Embed);
}

TEST(RunOptions, MalformedOptionsAreReported) {
    EXPECT_EQ(ParseRunOptions({"--window-id"}, nullptr).Error, "--window-id needs a value");
    EXPECT_EQ(ParseRunOptions({"--window-id", "12x"}, nullptr).Error, "not a window id: 12x");
    EXPECT_EQ(ParseRunOptions({"--window-id", "-5"}, nullptr).Error, "not a window id: -5");
    for (const char* size : {"640", "640x", "8x8", "640x480x2", "axb"})
        EXPECT_FALSE(ParseRunOptions({"--size", size}, nullptr).Error.empty()) << size;
    EXPECT_FALSE(ParseXWindowId("0"));
    EXPECT_FALSE(ParseXWindowId("0x40000000")); // wider than an X id
    EXPECT_EQ(ParseXWindowId("0x1FFFFFFF"), TWindowId{0x1FFFFFFF});
}

TEST(RunOptions, ScreensAreMonitorsSideBySideTheFirstPrimary) {
    const TRunOptions o =
        ParseRunOptions({"--screens", "1920x1080+0+0,1280x1024-1280+56"}, nullptr);
    ASSERT_TRUE(o.Error.empty()) << o.Error;
    ASSERT_EQ(o.Screens.size(), 2u);
    EXPECT_EQ(o.Screens[0].Bounds, (TRect{0, 0, 1920, 1080}));
    EXPECT_TRUE(o.Screens[0].Primary);
    EXPECT_EQ(o.Screens[1].Bounds, (TRect{-1280, 56, 0, 1080}));
    EXPECT_FALSE(o.Screens[1].Primary);
    EXPECT_EQ(ParseScreens("800x600+0+0")->size(), 1u);
    for (const char* bad : {"", "800x600", "800x600+0", "800x600+0+0,", "800x600+0+0;640x480+800+0",
                            "800x600+0+0,640x480+799+0", // overlapping
                            "8x600+0+0", "800x600+0+ 0", "800x600+0+0x", "800x600++0+0"})
        EXPECT_FALSE(ParseScreens(bad)) << bad;
}

TEST(Sizes, OnlyDigitsAnXAndDigitsMakeASize) {
    EXPECT_EQ(ParseSize("1920x1080"), (TSize{1920, 1080}));
    EXPECT_EQ(ParseSize("320X200"), (TSize{320, 200}));
    EXPECT_EQ(ParseSize("16x16", 16), (TSize{16, 16}));
    for (const char* bad : {"", "x", "1920x", "x1080", " 1920x1080", "1920 x1080", "+1920x1080",
                            "1920x-1080", "1920x1080x3", "1920x1080 ", "99999x1", "0x0"})
        EXPECT_FALSE(ParseSize(bad)) << bad;
    EXPECT_FALSE(ParseSize("15x200", 16));
    std::string_view rest = "640x480+10+20";
    EXPECT_EQ(TakeSize(rest), (TSize{640, 480}));
    EXPECT_EQ(rest, "+10+20");
}

TEST(CommandLine, WindowHandlesConvertCompletelyOrNotAtAll) {
    EXPECT_EQ(ParseWindowHandle("4242"), TWindowId{4242});
    EXPECT_EQ(ParseWindowHandle("$10"), TWindowId{16});
    EXPECT_EQ(ParseWindowHandle("0X1F"), TWindowId{31});
    EXPECT_FALSE(ParseWindowHandle(""));
    EXPECT_FALSE(ParseWindowHandle("ABC"));
    EXPECT_FALSE(ParseWindowHandle("12 "));
}

TEST(CommandLine, TheGuardIsNamedAfterTheFileAlone) {
    EXPECT_EQ(InstanceGuardName("C:\\Windows\\Garden.scr"), "Garden.scrSemaphore");
    EXPECT_EQ(InstanceGuardName("D:Garden.scr"), "Garden.scrSemaphore");
    EXPECT_EQ(InstanceGuardName("/usr/bin/Garden"), "GardenSemaphore");
    EXPECT_EQ(InstanceGuardName("C:\\a\\Garden.scr"), InstanceGuardName("E:\\b\\Garden.scr"));
}

TEST(Preview, TheFirstPictureIsFoundThroughThePayloadLength) {
    test::TScratchDir dir;
    TSSFileLocations record(96);
    test::TSaverParts parts;
    parts.Pictures = {test::TestJpeg(33, 21), test::TestJpeg(8, 8)};
    test::WriteBytes(dir.File("s.scr"), test::BuildSaver(parts, record));
    std::unique_ptr<TImage> first = ReadFirstPicture(dir.File("s.scr"));
    ASSERT_TRUE(first);
    EXPECT_EQ(first->Picture.Info.Width, 33);

    // A payload that does not start with a picture record gives no picture.
    test::TSaverParts sounds_only;
    sounds_only.Sounds = {{"a.wav", test::AsBytes("RIFF")}};
    test::WriteBytes(dir.File("n.scr"), test::BuildSaver(sounds_only, record));
    EXPECT_THROW(ReadFirstPicture(dir.File("n.scr")), EError);
    test::WriteBytes(dir.File("short.scr"), test::AsBytes("tiny"));
    EXPECT_EQ(ReadFirstPicture(dir.File("short.scr")), nullptr);
}

} // namespace
} // namespace tevrin
