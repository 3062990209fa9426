// SPDX-License-Identifier: MIT
#include "gfx/Compose.h"

#include "gfx/Copy.h"
#include "gfx/Exif.h"
#include "gfx/Jpeg.h"
#include "gfx/Resample.h"
#include "payload/Image.h"
#include "tests/TestSupport.h"

#include <array>
#include <cstring>
#include <gtest/gtest.h>

namespace tevrin {
namespace {

using test::kBlack;
using test::kBlue;
using test::kGreen;
using test::kRed;
using test::kWhite;
using test::Near;
using test::Quarters;
using test::TBgr;
auto& At = test::PixelAt;
auto& Put = test::PutPixel;
auto& Same = test::SamePixels;

// What a camera stores for an upright scene, from the Exif definition of
// each orientation: which side of the scene the stored first row and first
// column show.
TBitmap24 StoredFor(const TBitmap24& upright, int orientation) {
    enum TSide { Top, Bottom, Left, Right };
    static constexpr TSide kRow0[9] = {Top, Top, Top, Bottom, Bottom, Left, Right, Right, Left};
    static constexpr TSide kCol0[9] = {Left, Left, Right, Right, Left, Top, Top, Bottom, Bottom};
    const int uw = upright.Width(), uh = upright.Height();
    const bool across = kRow0[orientation] == Top || kRow0[orientation] == Bottom;
    TBitmap24 stored(across ? uw : uh, across ? uh : uw);
    for (int sy = 0; sy < stored.Height(); ++sy)
        for (int sx = 0; sx < stored.Width(); ++sx) {
            int ux, uy;
            if (across) {
                uy = kRow0[orientation] == Top ? sy : uh - 1 - sy;
                ux = kCol0[orientation] == Left ? sx : uw - 1 - sx;
            } else {
                ux = kRow0[orientation] == Left ? sy : uw - 1 - sy;
                uy = kCol0[orientation] == Top ? sx : uh - 1 - sx;
            }
            Put(stored, sx, sy, At(upright, ux, uy));
        }
    return stored;
}

// Every pixel different, so any misplaced pixel shows.
TBitmap24 Numbered(int w, int h) {
    TBitmap24 b(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            Put(b, x, y, {x * 20, y * 20, 7});
    return b;
}

TEST(Orientation, EveryExifOrientationStandsUpright) {
    const TBitmap24 upright = Numbered(6, 4);
    for (int orientation = 1; orientation <= 8; ++orientation) {
        const TBitmap24 stored = StoredFor(upright, orientation);
        EXPECT_TRUE(Same(TurnUpright(stored, orientation), upright)) << orientation;
        // Drawing at the upright size is the same turn.
        TBitmap24 drawn(6, 4);
        DrawScaled(drawn, 0, 0, 6, 4, stored, orientation);
        EXPECT_TRUE(Same(drawn, upright)) << orientation;
    }
    EXPECT_TRUE(Same(TurnUpright(upright, 0), upright));
    EXPECT_TRUE(Same(TurnUpright(upright, 9), upright));
}

TEST(Orientation, CameraFilesOfEveryOrientationShowUpright) {
    // Through the whole way a payload picture takes: JPEG with an Exif
    // block, picture record, scaled decode, composition.
    const TBitmap24 scene = Quarters(160, 96);
    for (int orientation = 1; orientation <= 8; ++orientation) {
        TImage image;
        image.Picture.JpegData =
            WithExifOrientation(EncodeJpeg(StoredFor(scene, orientation), 92), orientation);
        image.Picture.Info =
            ReadJpegInfo(image.Picture.JpegData.data(), image.Picture.JpegData.size());
        EXPECT_EQ(image.Picture.UprightWidth(), 160);
        EXPECT_EQ(image.Picture.UprightHeight(), 96);
        const TRect place = PlacePicture(160, 96, 100, 100, TFitMode::fmFit);
        const TBitmap24 shown =
            ComposeOnScreen(image.Picture.Decode(place.Width(), place.Height()),
                            image.Picture.Info.Orientation, place, 100, 100, false);
        // 100 x 60 at y 20: each quarter's middle in its own colour.
        EXPECT_TRUE(Near(At(shown, 25, 35), kRed, 40)) << orientation;
        EXPECT_TRUE(Near(At(shown, 75, 35), kGreen, 40)) << orientation;
        EXPECT_TRUE(Near(At(shown, 25, 65), kBlue, 40)) << orientation;
        EXPECT_TRUE(Near(At(shown, 75, 65), kWhite, 40)) << orientation;
        EXPECT_EQ(At(shown, 50, 10), kBlack) << orientation;
    }
}

TEST(Resample, FlatColoursStayExactAtEveryScaleAndEdge) {
    TBitmap24 flat(37, 23);
    for (int y = 0; y < 23; ++y)
        for (int x = 0; x < 37; ++x)
            Put(flat, x, y, {12, 200, 99});
    for (TResampleFilter filter : {TResampleFilter::Lanczos2, TResampleFilter::Triangle})
        for (auto [w, h] : {std::pair{5, 3}, {36, 22}, {38, 24}, {111, 70}, {1, 1}, {400, 2}}) {
            TBitmap24 out(w, h);
            DrawScaled(out, 0, 0, w, h, flat, 1, filter);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    ASSERT_EQ(At(out, x, y), (TBgr{12, 200, 99})) << w << "x" << h;
        }
}

TEST(Resample, ShrinkingFineDetailAveragesInsteadOfAliasing) {
    // One-pixel stripes: a nearest-pixel shrink keeps whole stripes, black
    // or white, in a pattern of its own (moire); a filter gives their mean.
    TBitmap24 stripes(200, 100);
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 200; ++x)
            Put(stripes, x, y, x % 2 ? kWhite : kBlack);
    for (TResampleFilter filter : {TResampleFilter::Lanczos2, TResampleFilter::Triangle})
        for (auto [w, h] : {std::pair{100, 50}, {67, 33}, {13, 7}}) {
            TBitmap24 out(w, h);
            DrawScaled(out, 0, 0, w, h, stripes, 1, filter);
            for (int y = 0; y < h; ++y)
                for (int x = 1; x < w - 1; ++x)
                    ASSERT_TRUE(Near(At(out, x, y), {128, 128, 128}, 16)) << w << " " << x;
        }
    // A ramp stays a ramp, up and down.
    TBitmap24 ramp(256, 4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 256; ++x)
            Put(ramp, x, y, {x, x, x});
    for (int w : {64, 100, 700}) {
        TBitmap24 out(w, 4);
        DrawScaled(out, 0, 0, w, 4, ramp);
        for (int x = 4; x < w - 4; ++x) {
            const int expected = static_cast<int>((x + 0.5) * 256 / w - 0.5);
            ASSERT_NEAR(At(out, x, 2)[0], expected, 2) << w << " " << x;
        }
    }
}

TEST(Resample, DrawsOnlyWhereThePlacedPictureShows) {
    const TBitmap24 picture = Quarters(40, 40);
    TBitmap24 canvas(30, 20);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 30; ++x)
            Put(canvas, x, y, {1, 2, 3});
    // Scaled to 80 x 80 with its top-left at (-50, 5): its right half shows
    // from x 0 to 30, its top from y 5.
    DrawScaled(canvas, -50, 5, 80, 80, picture);
    for (int x = 0; x < 30; ++x) {
        EXPECT_EQ(At(canvas, x, 4), (TBgr{1, 2, 3}));
        EXPECT_TRUE(Near(At(canvas, x, 10), kGreen, 10)) << x;
    }
    DrawScaled(canvas, 30, 0, 10, 10, picture); // wholly outside
    DrawScaled(canvas, 0, 0, 0, 10, picture);   // nothing to draw
    EXPECT_EQ(At(canvas, 29, 0), (TBgr{1, 2, 3}));
}

// A landscape picture with a red frame 10% wide, green inside and a blue
// square in the middle.
TBitmap24 Framed(int w, int h) {
    TBitmap24 b(w, h);
    const int fx = w / 10, fy = h / 10;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            TBgr c = kGreen;
            if (x < fx || x >= w - fx || y < fy || y >= h - fy) c = kRed;
            if (std::abs(2 * x - w) < w / 5 && std::abs(2 * y - h) < h / 5) c = kBlue;
            Put(b, x, y, c);
        }
    return b;
}

TBitmap24 Show(const TBitmap24& picture, int sw, int sh, TFitMode mode, bool backdrop = false) {
    return ComposeOnScreen(picture, 1,
                           PlacePicture(picture.Width(), picture.Height(), sw, sh, mode), sw, sh,
                           backdrop);
}

TEST(Compose, EachFitModePlacesLandscapePortraitAndTinyPictures) {
    const TBitmap24 landscape = Framed(400, 200), portrait = Framed(200, 400),
                    tiny = Framed(40, 30);
    struct TCheck {
        int x, y;
        TBgr colour;
    };
    const struct {
        const char* what;
        const TBitmap24& picture;
        int sw, sh;
        TFitMode mode;
        std::vector<TCheck> checks;
    } cases[] = {
        // Natural size, cut at the sides: the frame's sides are gone.
        {"landscape natural 320x240",
         landscape,
         320,
         240,
         TFitMode::fmNatural,
         {{160, 10, kBlack},
          {160, 25, kRed},
          {1, 120, kGreen},
          {318, 120, kGreen},
          {160, 120, kBlue}}},
        // Larger than the screen: fitted whole, black above and below.
        {"landscape shrink 320x240",
         landscape,
         320,
         240,
         TFitMode::fmShrink,
         {{160, 35, kBlack},
          {160, 205, kBlack},
          {2, 120, kRed},
          {317, 120, kRed},
          {160, 45, kRed},
          {160, 120, kBlue}}},
        // Smaller than the screen: natural size in the middle.
        {"landscape shrink 1280x720",
         landscape,
         1280,
         720,
         TFitMode::fmShrink,
         {{430, 360, kBlack},
          {445, 360, kRed},
          {640, 255, kBlack},
          {640, 265, kRed},
          {500, 360, kGreen}}},
        {"landscape fit 1280x720",
         landscape,
         1280,
         720,
         TFitMode::fmFit,
         {{640, 30, kBlack},
          {640, 690, kBlack},
          {5, 360, kRed},
          {1274, 360, kRed},
          {640, 360, kBlue}}},
        // Covering: no black, the top and bottom of the frame show, its sides not.
        {"landscape fill 320x240",
         landscape,
         320,
         240,
         TFitMode::fmFill,
         {{0, 0, kRed},
          {160, 2, kRed},
          {160, 237, kRed},
          {2, 120, kGreen},
          {317, 120, kGreen},
          {160, 120, kBlue}}},
        {"portrait fit 320x240",
         portrait,
         320,
         240,
         TFitMode::fmFit,
         {{50, 120, kBlack},
          {270, 120, kBlack},
          {102, 120, kRed},
          {160, 2, kRed},
          {160, 120, kBlue}}},
        {"portrait fill 1280x720",
         portrait,
         1280,
         720,
         TFitMode::fmFill,
         {{5, 360, kRed}, {640, 5, kGreen}, {640, 360, kBlue}}},
        {"portrait shrink 1280x720",
         portrait,
         1280,
         720,
         TFitMode::fmShrink,
         {{440, 360, kBlack}, {545, 360, kRed}, {640, 360, kBlue}}},
        // 4:3 on 4:3 fits exactly; on 16:9 it fills the height.
        {"tiny fit 320x240",
         tiny,
         320,
         240,
         TFitMode::fmFit,
         {{3, 3, kRed}, {316, 236, kRed}, {40, 120, kGreen}, {160, 120, kBlue}}},
        {"tiny fit 1280x720",
         tiny,
         1280,
         720,
         TFitMode::fmFit,
         {{150, 360, kBlack},
          {1130, 360, kBlack},
          {170, 360, kRed},
          {640, 2, kRed},
          {640, 360, kBlue}}},
        {"tiny shrink 320x240",
         tiny,
         320,
         240,
         TFitMode::fmShrink,
         {{139, 120, kBlack}, {141, 120, kRed}, {160, 120, kBlue}, {160, 100, kBlack}}},
    };
    for (const auto& c : cases) {
        const TBitmap24 shown = Show(c.picture, c.sw, c.sh, c.mode);
        ASSERT_EQ(shown.Width(), c.sw);
        for (const TCheck& check : c.checks)
            EXPECT_TRUE(Near(At(shown, check.x, check.y), check.colour, 48))
                << c.what << " at " << check.x << "," << check.y;
    }
}

TEST(Compose, NaturalSizeIsTheClassicCentredCopy) {
    for (auto [w, h] : {std::pair{400, 200}, {41, 31}, {322, 240}, {320, 240}}) {
        const TBitmap24 picture = Numbered(w, h);
        EXPECT_TRUE(
            Same(Show(picture, 320, 240, TFitMode::fmNatural), ComposeCentered(picture, 320, 240)));
    }
    // Shrinking what already fits changes nothing either.
    const TBitmap24 small = Numbered(100, 50);
    EXPECT_TRUE(Same(Show(small, 320, 240, TFitMode::fmShrink), ComposeCentered(small, 320, 240)));
}

TEST(Compose, BlurredBordersFillWhatTheFitLeavesWithADarkCopy) {
    const TBitmap24 portrait = Framed(200, 400);
    const TBitmap24 plain = Show(portrait, 640, 360, TFitMode::fmFit);
    const TBitmap24 blurred = Show(portrait, 640, 360, TFitMode::fmFit, true);
    // The picture itself is the same; only the borders differ.
    for (int y = 0; y < 360; y += 7)
        for (int x = 230; x < 410; x += 7)
            ASSERT_EQ(At(blurred, x, y), At(plain, x, y)) << x << "," << y;
    // In the borders: the picture's colours, darkened, changing smoothly.
    int lit = 0;
    for (int y = 0; y < 360; y += 5)
        for (int x : {0, 40, 100, 530, 600, 639}) {
            const TBgr c = At(blurred, x, y);
            EXPECT_LE(std::max({c[0], c[1], c[2]}), 140) << x << "," << y;
            if (c[1] > 20 || c[2] > 20) ++lit;
            if (x > 0) {
                const TBgr left = At(blurred, x - 1, y);
                for (int k = 0; k < 3; ++k)
                    ASSERT_LE(std::abs(c[k] - left[k]), 6) << x << "," << y;
            }
        }
    EXPECT_GT(lit, 400);
    // A picture that covers the screen has no borders to fill.
    EXPECT_TRUE(Same(Show(portrait, 640, 360, TFitMode::fmFill, true),
                     Show(portrait, 640, 360, TFitMode::fmFill)));
}

} // namespace
} // namespace tevrin
