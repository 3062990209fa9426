// SPDX-License-Identifier: MIT
#include "gfx/Exif.h"

#include "gfx/Jpeg.h"
#include "tests/TestSupport.h"

#include <array>
#include <gtest/gtest.h>
#include <string>

namespace tevrin {
namespace {

std::vector<std::uint8_t> Bytes(const std::string& text) {
    return {text.begin(), text.end()};
}

// "Exif\0\0", then a big-endian TIFF header and a directory whose only
// entry is `entry` (12 bytes).
std::vector<std::uint8_t> Block(const std::string& entry,
                                const std::string& count = std::string("\0\1", 2)) {
    return Bytes(std::string("Exif\0\0MM\0\x2A\0\0\0\x08", 14) + count + entry +
                 std::string(4, '\0'));
}

TEST(Exif, ReadsTheOrientationAndPassesOverEverythingBroken) {
    const std::string six("\x01\x12\0\x03\0\0\0\x01\0\x06\0\0", 12);
    EXPECT_EQ(ExifOrientation(Block(six)), 6);
    // Another entry first, then the orientation.
    EXPECT_EQ(ExifOrientation(Block(std::string("\x01\x0F\0\x02\0\0\0\x04XYZ\0", 12) + six,
                                    std::string("\0\2", 2))),
              6);
    const struct {
        const char* what;
        std::vector<std::uint8_t> block;
    } broken[] = {
        {"empty", {}},
        {"no signature", Bytes("http://ns.adobe.com/xap/1.0/\0")},
        {"short header", Bytes(std::string("Exif\0\0MM\0", 9))},
        {"unknown byte order", Bytes(std::string("Exif\0\0XX\0\x2A\0\0\0\x08\0\0", 16))},
        {"not TIFF", Bytes(std::string("Exif\0\0MM\0\x2B\0\0\0\x08\0\0", 16))},
        {"directory outside", Bytes(std::string("Exif\0\0MM\0\x2A\xFF\xFF\xFF\xF0", 14))},
        {"more entries than bytes", Block(six.substr(0, 6), std::string("\xFF\xFF", 2))},
        {"orientation as a long", Block(std::string("\x01\x12\0\x04\0\0\0\x01\0\0\0\x06", 12))},
        {"no value", Block(std::string("\x01\x12\0\x03\0\0\0\0\0\x06\0\0", 12))},
        {"value 0", Block(std::string("\x01\x12\0\x03\0\0\0\x01\0\0\0\0", 12))},
        {"value 9", Block(std::string("\x01\x12\0\x03\0\0\0\x01\0\x09\0\0", 12))},
        {"no orientation", Block(std::string("\x01\x0F\0\x02\0\0\0\x04XYZ\0", 12))},
    };
    for (const auto& b : broken)
        EXPECT_EQ(ExifOrientation(b.block), 1) << b.what;
}

TEST(Exif, AWrittenBlockFollowsTheStartOfImage) {
    const std::vector<std::uint8_t> jpeg = {0xFF, 0xD8, 0xFF, 0xD9};
    const std::vector<std::uint8_t> tagged = WithExifOrientation(jpeg, 8);
    ASSERT_GT(tagged.size(), 14u);
    EXPECT_EQ(tagged[0], 0xFF);
    EXPECT_EQ(tagged[1], 0xD8);
    EXPECT_EQ(tagged[2], 0xFF);
    EXPECT_EQ(tagged[3], 0xE1);
    const std::size_t length = tagged[4] << 8 | tagged[5];
    EXPECT_EQ(length + 2 + 2 + 2, tagged.size()); // SOI, marker, then the end-of-image marker
    EXPECT_EQ(ExifOrientation({tagged.data() + 6, length - 2}), 8);
    EXPECT_EQ(tagged[tagged.size() - 1], 0xD9);
}

TEST(Exif, CaptionsReadTheDateTakenAndTheDescriptionWhereverTheBlockKeepsThem) {
    for (bool big_endian : {false, true}) {
        const test::TBytes block =
            test::ExifTextBlock("  Harbour at dawn ", "2024:08:12 14:03:00", big_endian);
        const TExifText text = ReadExifText(block);
        EXPECT_EQ(text.Description, "Harbour at dawn") << big_endian;
        EXPECT_EQ(text.Taken, "2024:08:12 14:03:00") << big_endian;
        // Found in a JPEG after its JFIF segment, and nowhere in one
        // without.
        const test::TBytes jpeg = test::TestJpeg(16, 16);
        const test::TBytes tagged = test::WithExifBlock(jpeg, block);
        const std::span<const std::uint8_t> found = JpegExifBlock(tagged);
        EXPECT_TRUE(std::equal(found.begin(), found.end(), block.begin(), block.end()));
        EXPECT_TRUE(JpegExifBlock(jpeg).empty());
        // Short texts sit in the entry itself.
        EXPECT_EQ(ReadExifText(test::ExifTextBlock("Sea", "", big_endian)).Description, "Sea");
    }
    // The date of a photo without DateTimeOriginal is none; every cut of a
    // block reads as much as is left, or nothing, and never past its end.
    EXPECT_EQ(ReadExifText(test::ExifTextBlock("x", "")).Taken, "");
    const test::TBytes block = test::ExifTextBlock("A description", "2024:08:12 14:03:00");
    for (std::size_t size = 0; size < block.size(); ++size) {
        const std::vector<std::uint8_t> cut(block.begin(), block.begin() + static_cast<long>(size));
        const TExifText text = ReadExifText(cut);
        EXPECT_TRUE(text.Taken.empty() || text.Taken == "2024:08:12 14:03:00") << size;
        EXPECT_TRUE(JpegExifBlock(cut).empty());
    }
    const std::optional<TDateTime> date = ParseExifDate(ReadExifText(block).Taken);
    ASSERT_TRUE(date);
    EXPECT_EQ((std::array<int, 6>{date->Year, date->Month, date->Day, date->Hour, date->Minute,
                                  date->Second}),
              (std::array<int, 6>{2024, 8, 12, 14, 3, 0}));
}

} // namespace
} // namespace tevrin
