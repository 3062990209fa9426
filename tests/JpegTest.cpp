// SPDX-License-Identifier: MIT
#include "gfx/Jpeg.h"

#include "base/Errors.h"
#include "gfx/Exif.h"
#include "tests/TestSupport.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <gtest/gtest.h>
#include <jpeglib.h>
#include <set>
#include <vector>

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
    EXPECT_EQ(decoded.Stride(), 612); // 609 bytes padded to a multiple of 4
    long long error = 0;
    for (int y = 0; y < 97; ++y)
        for (int x = 0; x < 203 * 3; ++x)
            error += std::abs(decoded.Row(y)[x] - original.Row(y)[x]);
    // The red checkerboard loses detail to chroma subsampling; garbage would
    // be far off.
    EXPECT_LT(error / (203 * 97 * 3), 12) << "mean error per channel";
}

TEST(Jpeg, PaletteDecodingUsesAtMost256Colours) {
    std::vector<std::uint8_t> jpeg = test::TestJpeg(64, 64);
    TBitmap24 decoded = DecodeJpeg(jpeg.data(), jpeg.size(), {.Palette8 = true});
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

TEST(Jpeg, ScalesDownByTheDctToTheSmallestSizeNotBelowTheMinimum) {
    const test::TBytes jpeg = test::TestJpeg(640, 480);
    const struct {
        int min_w, min_h, w, h;
    } cases[] = {
        {0, 0, 640, 480},     // no minimum: full size
        {200, 150, 240, 180}, // 3/8; 2/8 would be 160 x 120
        {240, 1, 240, 180},   // exactly 3/8 across
        {1, 1, 80, 60},       // 1/8 is the least
        {641, 10, 640, 480},  // nothing smaller covers it
        {100, 300, 400, 300}, // the taller side decides: 5/8
        {100, 400, 640, 480}, // 7/8 would do, but decodes no faster than 8/8
    };
    for (const auto& c : cases) {
        const TBitmap24 decoded =
            DecodeJpeg(jpeg.data(), jpeg.size(), {.MinWidth = c.min_w, .MinHeight = c.min_h});
        EXPECT_EQ(decoded.Width(), c.w) << c.min_w << "x" << c.min_h;
        EXPECT_EQ(decoded.Height(), c.h) << c.min_w << "x" << c.min_h;
    }
    // A scaled decode is the same scene: the gradient's far corner stays far.
    const TBitmap24 small = DecodeJpeg(jpeg.data(), jpeg.size(), {.MinWidth = 80, .MinHeight = 60});
    EXPECT_GT(small.Row(59)[79 * 3], 230);
    EXPECT_GT(small.Row(59)[79 * 3 + 1], 230);
    EXPECT_LT(small.Row(0)[0], 25);
}

// The mean difference per channel between a decoded picture and the colour
// each pixel should have.
template <typename TExpected> double MeanError(const TBitmap24& decoded, TExpected expected) {
    double error = 0;
    for (int y = 0; y < decoded.Height(); ++y)
        for (int x = 0; x < decoded.Width(); ++x) {
            const std::array<int, 3> bgr = expected(x, y);
            for (int k = 0; k < 3; ++k)
                error += std::abs(decoded.Row(y)[x * 3 + k] - bgr[k]);
        }
    return error / (decoded.Width() * decoded.Height() * 3.0);
}

TEST(Jpeg, InkPicturesOfEveryWriterComeOutInTheirColours) {
    // Bands of cyan, magenta, yellow, black and a mix, over a light ink ramp.
    auto ink = [](int x, int y) -> std::array<std::uint8_t, 4> {
        const std::uint8_t ramp = static_cast<std::uint8_t>(y * 2);
        switch (x / 16) {
        case 0:
            return {255, 0, 0, ramp};
        case 1:
            return {0, 255, 0, ramp};
        case 2:
            return {0, 0, 255, ramp};
        case 3:
            return {0, 0, 0, static_cast<std::uint8_t>(128 + ramp / 2)};
        default:
            return {60, 120, 200, ramp};
        }
    };
    auto rgb_of = [&](int x, int y) -> std::array<int, 3> {
        const auto v = ink(x, y);
        auto channel = [&](int c) { return (255 - c) * (255 - v[3]) / 255; };
        return {channel(v[2]), channel(v[1]), channel(v[0])}; // B, G, R
    };
    for (test::TInkForm form :
         {test::TInkForm::PlainCmyk, test::TInkForm::AdobeCmyk, test::TInkForm::AdobeYcck}) {
        const test::TBytes jpeg = test::InkJpeg(80, 64, form, ink);
        const TJpegInfo info = ReadJpegInfo(jpeg.data(), jpeg.size());
        EXPECT_TRUE(info.Cmyk);
        EXPECT_EQ(info.Components, 4);
        const TBitmap24 decoded = DecodeJpeg(jpeg.data(), jpeg.size());
        EXPECT_LT(MeanError(decoded, rgb_of), 6) << static_cast<int>(form);
        // Pure cyan ink is a full blue and green with no red.
        const std::uint8_t* cyan = decoded.Row(2) + 8 * 3;
        EXPECT_GT(cyan[0], 200);
        EXPECT_LT(cyan[2], 40);
        // Scaled decoding works for inks too.
        EXPECT_EQ(DecodeJpeg(jpeg.data(), jpeg.size(), {.MinWidth = 20, .MinHeight = 16}).Width(),
                  20);
    }
}

// The library's own gray rows, for comparing our widening with.
std::vector<std::uint8_t> LibraryGrayRows(const test::TBytes& jpeg) {
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_GRAYSCALE;
    jpeg_start_decompress(&cinfo);
    std::vector<std::uint8_t> gray(static_cast<std::size_t>(cinfo.output_width) *
                                   cinfo.output_height);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row =
            gray.data() + static_cast<std::size_t>(cinfo.output_scanline) * cinfo.output_width;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return gray;
}

TEST(Jpeg, GrayPicturesDecodeToEqualChannels) {
    // Widths with and without a tail beyond the sixteen-pixel steps.
    for (auto [w, h] : {std::pair{96, 64}, std::pair{37, 21}, std::pair{15, 9}}) {
        const TBitmap24 picture = test::TestPicture(w, h);
        const test::TBytes jpeg = test::GrayJpeg(picture);
        EXPECT_EQ(ReadJpegInfo(jpeg.data(), jpeg.size()).Components, 1);
        const TBitmap24 decoded = DecodeJpeg(jpeg.data(), jpeg.size());
        EXPECT_LT(MeanError(decoded,
                            [&](int x, int y) -> std::array<int, 3> {
                                const int g = picture.Row(y)[x * 3 + 1];
                                return {g, g, g};
                            }),
                  2);
        const std::vector<std::uint8_t> gray = LibraryGrayRows(jpeg);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const std::uint8_t* p = decoded.Row(y) + x * 3;
                const std::uint8_t g = gray[static_cast<std::size_t>(y) * w + x];
                ASSERT_TRUE(p[0] == g && p[1] == g && p[2] == g)
                    << w << " wide, at " << x << "," << y;
            }
    }
}

TEST(Jpeg, TheExifOrientationIsReadWithTheHeader) {
    const test::TBytes jpeg = test::TestJpeg(40, 30);
    EXPECT_EQ(ReadJpegInfo(jpeg.data(), jpeg.size()).Orientation, 1);
    for (int orientation = 1; orientation <= 8; ++orientation)
        for (bool big_endian : {false, true}) {
            const auto tagged = WithExifOrientation(jpeg, orientation, big_endian);
            EXPECT_EQ(ReadJpegInfo(tagged.data(), tagged.size()).Orientation, orientation);
            // The stored pixels are decoded as stored.
            EXPECT_EQ(DecodeJpeg(tagged.data(), tagged.size()).Width(), 40);
        }
    // A damaged Exif block leaves the picture upright and readable.
    auto broken = WithExifOrientation(jpeg, 6);
    broken[2 + 4 + 6 + 4] = 0xFF; // the first directory's offset, now far outside
    EXPECT_EQ(ReadJpegInfo(broken.data(), broken.size()).Orientation, 1);
    EXPECT_EQ(DecodeJpeg(broken.data(), broken.size()).Height(), 30);
}

// The JPEG with its frame header claiming `w` x `h`.
test::TBytes Claiming(test::TBytes jpeg, int w, int h) {
    for (std::size_t i = 2; i + 8 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && (jpeg[i + 1] == 0xC0 || jpeg[i + 1] == 0xC2)) {
            jpeg[i + 5] = static_cast<std::uint8_t>(h >> 8),
                     jpeg[i + 6] = static_cast<std::uint8_t>(h);
            jpeg[i + 7] = static_cast<std::uint8_t>(w >> 8),
                     jpeg[i + 8] = static_cast<std::uint8_t>(w);
            break;
        }
    return jpeg;
}

TEST(Jpeg, AHugeDeclaredSizeWithoutTheDataIsRefusedBeforeAnythingIsAllocated) {
    // A kilobyte that claims 13000 x 13000 pixels, progressive: its
    // coefficient buffers alone would take half a gigabyte.
    const test::TBytes tiny =
        Claiming(test::ProgressiveJpeg(test::TestPicture(64, 64)), 13000, 13000);
    ASSERT_LT(tiny.size(), 8000u);
    const std::size_t before = TBitmap24::LiveBytes();
    TBitmap24::ResetPeak();
    for (const TJpegDecode& how : {TJpegDecode{}, TJpegDecode{.MinWidth = 1620, .MinHeight = 1080}})
        EXPECT_EQ(test::ErrorOf([&] { DecodeJpeg(tiny.data(), tiny.size(), how); }),
                  "JPEG image data ends before the picture does (13000x13000 pixels)");
    // With as many bytes as such a picture could need at the least, the
    // decoder's memory limit refuses its buffers.
    test::TBytes padded(tiny.begin(), tiny.end() - 2);
    padded.resize(padded.size() + 1'000'000, 0);
    padded.insert(padded.end(), {0xFF, 0xD9});
    EXPECT_EQ(test::ErrorOf([&] {
                  DecodeJpeg(padded.data(), padded.size(), {.MinWidth = 1620, .MinHeight = 1080});
              }),
              "JPEG image is too large (13000x13000 pixels)");
    EXPECT_LE(TBitmap24::PeakBytes(), before) << "no picture was allocated";
}

TEST(Jpeg, DataThatEndsEarlyIsUnreadableButALateEndStillShows) {
    const test::TBytes jpeg = test::TestJpeg(640, 480);
    const test::TBytes early(jpeg.begin(),
                             jpeg.begin() + static_cast<std::ptrdiff_t>(jpeg.size() / 5));
    EXPECT_EQ(test::ErrorOf([&] { DecodeJpeg(early.data(), early.size()); }),
              "JPEG image data ends before the picture does (640x480 pixels)");
    // Cut near its end, the picture shows, its last rows gray.
    const test::TBytes late(jpeg.begin(),
                            jpeg.begin() + static_cast<std::ptrdiff_t>(jpeg.size() * 9 / 10));
    const TBitmap24 shown = DecodeJpeg(late.data(), late.size());
    EXPECT_EQ(shown.Height(), 480);
    // A progressive picture whose first scan is whole shows coarse, not gray.
    const test::TBytes progressive = test::ProgressiveJpeg(test::TestPicture(640, 480));
    const test::TBytes coarse(progressive.begin(),
                              progressive.begin() +
                                  static_cast<std::ptrdiff_t>(progressive.size() / 2));
    EXPECT_EQ(DecodeJpeg(coarse.data(), coarse.size()).Width(), 640);
}

} // namespace
} // namespace tevrin
