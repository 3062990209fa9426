#include "app/CommandLine.h"
#include "gfx/Errors.h"
#include "payload/Payload.h"
#include "tests/TestSupport.h"

#include <gtest/gtest.h>

namespace tevrin {
namespace {

TEST(CommandLine, TheFirstTwoCharactersSettleTheMode) {
    struct {
        std::vector<std::string> args;
        TSaverMode mode;
    } cases[] = {
        {{}, smSettings},           {{""}, smSettings},          {{"/c"}, smSettings},
        {{"-C"}, smSettings},       {{"c"}, smSettings},         {{"/c:1234"}, smSettings},
        {{"Config"}, smSettings},   {{"/s"}, smSaver},           {{"/S"}, smSaver},
        {{"-s"}, smSaver},          {{"x"}, smSaver},            {{"/"}, smSaver},
        {{"/x"}, smSaver},          {{"/a", "123"}, smChangePassword},
        {{"ABC"}, smChangePassword}, {{"-a"}, smChangePassword}, {{"/p", "4242"}, smPreview},
        {{"Preview"}, smPreview},   {{"-P"}, smPreview},         {{"/p:1234"}, smPreview},
    };
    for (const auto& c : cases) {
        std::string shown;
        for (const auto& a : c.args) shown += a + " ";
        EXPECT_EQ(ParseCommandLine(c.args).Mode, c.mode) << shown;
    }
    // A handle glued to the switch is not read: the second argument is empty.
    EXPECT_EQ(ParseCommandLine({"/p:1234"}).Second, "");
    EXPECT_EQ(ParseCommandLine({"/p", "0x1f"}).Second, "0X1F");
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
    EXPECT_EQ(first->Picture.Bitmap.Width(), 33);

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
