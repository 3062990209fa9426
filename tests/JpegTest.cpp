#include "gfx/Errors.h"
#include "gfx/Jpeg.h"
#include "tests/TestSupport.h"

#include <gtest/gtest.h>

#include <set>

namespace tevrin {
namespace {

TEST(Jpeg, DecodesAtFullSizeCloseToTheOriginal) {
    TBitmap24 original = test::TestPicture(203, 97);
    std::vector<std::uint8_t> jpeg = EncodeJpeg(original, 95);
    TJpegInfo info = ReadJpegInfo(jpeg.data(), jpeg.size());
    EXPECT_EQ(info.Width, 203);
    EXPECT_EQ(info.Height, 97);
    TBitmap24 decoded = DecodeJpeg(jpeg.data(), jpeg.size());
    ASSERT_EQ(decoded.Width(), 203);
    ASSERT_EQ(decoded.Height(), 97);
    EXPECT_EQ(decoded.Stride(), 612);  // 609 bytes padded to a multiple of 4
    long long error = 0;
    for (int y = 0; y < 97; ++y)
        for (int x = 0; x < 203 * 3; ++x) error += std::abs(decoded.Row(y)[x] - original.Row(y)[x]);
    // The red checkerboard loses detail to chroma subsampling; garbage would
    // be far off.
    EXPECT_LT(error / (203 * 97 * 3), 12) << "mean error per channel";
}

TEST(Jpeg, PaletteDecodingUsesAtMost256Colours) {
    std::vector<std::uint8_t> jpeg = test::TestJpeg(64, 64);
    TBitmap24 decoded = DecodeJpeg(jpeg.data(), jpeg.size(), true);
    std::set<std::uint32_t> colours;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            const std::uint8_t* p = decoded.Row(y) + x * 3;
            colours.insert(p[0] | p[1] << 8 | p[2] << 16);
        }
    EXPECT_LE(colours.size(), 256u);
    EXPECT_GT(colours.size(), 16u);
}

TEST(Jpeg, LibraryErrorsBecomeExceptions) {
    std::vector<std::uint8_t> jpeg = test::TestJpeg(32, 32);
    std::vector<std::uint8_t> garbage = {0xFF, 0xD8, 0xFF, 0x00, 0x12, 0x34};
    EXPECT_THROW(DecodeJpeg(garbage.data(), garbage.size()), EError);
    std::vector<std::uint8_t> headless(jpeg.begin(), jpeg.begin() + 30);
    EXPECT_THROW(DecodeJpeg(headless.data(), headless.size()), EError);
    std::vector<std::uint8_t> text = {'h', 'e', 'l', 'l', 'o'};
    EXPECT_THROW(ReadJpegInfo(text.data(), text.size()), EError);
}

TEST(Jpeg, RefusesPicturesTooLargeToHold) {
    std::vector<std::uint8_t> jpeg = test::TestJpeg(16, 16);
    // Rewrite the frame header's size to 60000 x 60000.
    for (std::size_t i = 2; i + 8 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && (jpeg[i + 1] == 0xC0 || jpeg[i + 1] == 0xC2)) {
            jpeg[i + 5] = 0xEA, jpeg[i + 6] = 0x60, jpeg[i + 7] = 0xEA, jpeg[i + 8] = 0x60;
            break;
        }
    try {
        DecodeJpeg(jpeg.data(), jpeg.size());
        FAIL() << "decoded";
    } catch (const EError& e) {
        EXPECT_STREQ(e.what(), "JPEG image is too large (60000x60000 pixels)");
    }
}

} // namespace
} // namespace tevrin
