// SPDX-License-Identifier: MIT
#include "show/Motion.h"

#include "gfx/Bilinear.h"
#include "gfx/Jpeg.h"
#include "platform/SystemText.h"
#include "tests/TestSupport.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <numeric>
#include <random>

namespace tevrin {
namespace {

using test::MeanDifference;

TTextEngine& Engine() {
    static const std::unique_ptr<TTextEngine> engine = MakeSystemTextEngine();
    return *engine;
}

// A smooth picture with no black in it: gradients and soft waves, so that
// how much a frame differs from the next follows how far it moved.
TBitmap24 Smooth(int w, int h) {
    TBitmap24 b(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            std::uint8_t* p = b.Row(y) + x * 3;
            p[0] = static_cast<std::uint8_t>(40 + 180 * x / w);
            p[1] = static_cast<std::uint8_t>(40 + 180 * y / h);
            p[2] = static_cast<std::uint8_t>(130 + 90 * std::sin(x / 9.0) * std::cos(y / 11.0));
        }
    return b;
}

TShowChoices Fitted(TFitMode fit) {
    TShowChoices choices;
    choices.Fit = fit;
    return choices;
}

int BlackPixels(const TBitmap24& b, const TRect& where) {
    int count = 0;
    for (int y = where.Top; y < where.Bottom; ++y)
        for (int x = where.Left; x < where.Right; ++x) {
            const std::uint8_t* p = b.Row(y) + x * 3;
            count += p[0] == 0 && p[1] == 0 && p[2] == 0;
        }
    return count;
}

TEST(Bilinear, VectorAndPlainPathsAgreeAndFollowTheFilter) {
    std::mt19937 random(11);
    TBitmap24 noise(203, 97);
    for (int y = 0; y < noise.Height(); ++y)
        for (int x = 0; x < noise.Width() * 3; ++x)
            noise.Row(y)[x] = static_cast<std::uint8_t>(random());
    const TBilinearSource source(noise);
    // The filter worked out in floating point, edges taking their nearest.
    auto expected = [&](double sx, double sy, int ch) {
        sx = std::clamp(sx, 0.0, noise.Width() - 1.0);
        sy = std::clamp(sy, 0.0, noise.Height() - 1.0);
        const int x0 = static_cast<int>(sx), y0 = static_cast<int>(sy);
        const int x1 = std::min(x0 + 1, noise.Width() - 1),
                  y1 = std::min(y0 + 1, noise.Height() - 1);
        const double fx = sx - x0, fy = sy - y0;
        auto at = [&](int x, int y) { return noise.Row(y)[x * 3 + ch]; };
        return (at(x0, y0) * (1 - fx) + at(x1, y0) * fx) * (1 - fy) +
               (at(x0, y1) * (1 - fx) + at(x1, y1) * fx) * fy;
    };
    // Scales from the source's own to 1.15 times smaller, fractional
    // origins, areas reaching past the destination and the source, and a
    // scale far from the source's own.
    const TBilinearMap maps[] = {{{0, 0, 150, 80}, 0.25, 1.0, 0.5, 1.0},
                                 {{3, 2, 170, 90}, 10.37, 1.15, 3.81, 1.13},
                                 {{-20, -5, 190, 130}, -4.6, 1.07, -2.2, 1.09},
                                 {{7, 9, 101, 71}, 190.3, 1.002, 90.7, 1.0},
                                 {{0, 0, 160, 100}, 1.5, 2.7, 0.1, 0.6}};
    for (const TBilinearMap& map : maps) {
        TBitmap24 fast(160, 100), avx2(160, 100), plain(160, 100);
        DrawBilinear(fast, source, map);
        DrawBilinear(avx2, source, map, TVectorPaths::Avx2);
        DrawBilinear(plain, source, map, TVectorPaths::None);
        EXPECT_TRUE(test::SamePixels(avx2, plain));
        int worst = 0, drawn = 0;
        for (int y = 0; y < 100; ++y)
            for (int x = 0; x < 160; ++x)
                for (int ch = 0; ch < 3; ++ch) {
                    const int f = fast.Row(y)[x * 3 + ch];
                    ASSERT_EQ(f, plain.Row(y)[x * 3 + ch]) << x << "," << y;
                    if (!map.Area.Contains(x, y)) {
                        ASSERT_EQ(f, 0) << "drawn outside its area at " << x << "," << y;
                        continue;
                    }
                    ++drawn;
                    const double e = expected(map.X0 + (x - map.Area.Left) * map.StepX,
                                              map.Y0 + (y - map.Area.Top) * map.StepY, ch);
                    worst = std::max(worst, static_cast<int>(std::ceil(std::abs(f - e))));
                }
        EXPECT_GT(drawn, 0);
        EXPECT_LE(worst, 2) << "map at " << map.X0 << "," << map.Y0;
        // A display's 4-byte pixels get the same colours on either path.
        for (TVectorPaths paths : {TVectorPaths::All, TVectorPaths::Avx2, TVectorPaths::None}) {
            TBitmap24 four(160, 100, TBitmap24::kPixels32);
            DrawBilinear(four, source, map, paths);
            EXPECT_TRUE(test::SamePixels(four, plain)) << static_cast<int>(paths);
        }
    }
}

TEST(Motion, FramesMoveBySmallSteadySteps) {
    // Five seconds at 25 frames a second, for pictures that zoom in, zoom
    // out and pan every way.
    const TShowPicture picture{{}, Smooth(640, 400)};
    for (std::uint32_t seed = 0; seed < 6; ++seed) {
        const TMovingSlide slide(picture, "", Fitted(TFitMode::fmFill), {320, 240}, Engine(),
                                 MotionSeed(3, static_cast<int>(seed)));
        ASSERT_TRUE(slide.Moves());
        constexpr int kFrames = 125;
        std::vector<double> steps;
        TBitmap24 last = slide.Frame(0);
        for (int k = 1; k <= kFrames; ++k) {
            TBitmap24 frame = slide.Frame(static_cast<double>(k) / kFrames);
            steps.push_back(MeanDifference(last, frame));
            last = std::move(frame);
        }
        std::vector<double> sorted = steps;
        std::sort(sorted.begin(), sorted.end());
        const double median = sorted[sorted.size() / 2];
        EXPECT_GT(sorted.front(), 0) << "seed " << seed << ": a frame did not move";
        EXPECT_LT(median, 2.0) << "seed " << seed << ": not slow";
        // No jumps: the largest step stays near the usual one.
        EXPECT_LT(sorted.back(), 2.5 * median) << "seed " << seed;
    }
}

TEST(Motion, CoveredScreenNeverShowsGapsAndPicturesNeverOutgrowTheirPixels) {
    const TRect screen{0, 0, 320, 240};
    struct TCase {
        int W, H;
        TFitMode Fit;
    };
    // Fill of either shape, fit on a screen of the picture's shape, and a
    // picture larger than the screen at its natural size.
    for (const TCase c : {TCase{640, 400, TFitMode::fmFill}, TCase{400, 700, TFitMode::fmFill},
                          TCase{640, 480, TFitMode::fmFit}, TCase{500, 300, TFitMode::fmNatural}}) {
        const TShowPicture picture{{}, Smooth(c.W, c.H)};
        for (std::uint32_t seed = 0; seed < 8; ++seed) {
            const TMovingSlide slide(picture, "", Fitted(c.Fit), {320, 240}, Engine(), seed);
            for (int k = 0; k <= 10; ++k) {
                const double t = k / 10.0;
                ASSERT_EQ(BlackPixels(slide.Frame(t), screen), 0)
                    << c.W << "x" << c.H << " seed " << seed << " t " << t;
                EXPECT_LE(slide.ViewAt(t).Width, c.W + 1e-9);
            }
        }
    }
    // Fitted with borders: what the still picture covers stays covered.
    const TShowPicture wide{{}, Smooth(800, 300)};
    const TRect place = PlacePicture(800, 300, 320, 240, TFitMode::fmFit);
    for (std::uint32_t seed = 0; seed < 8; ++seed) {
        const TMovingSlide slide(wide, "", Fitted(TFitMode::fmFit), {320, 240}, Engine(), seed);
        for (int k = 0; k <= 10; ++k)
            ASSERT_EQ(BlackPixels(slide.Frame(k / 10.0), place), 0) << "seed " << seed;
    }
}

TEST(Motion, SmallPicturesZoomLessOrNotAtAll) {
    // Scaled up to fit already: no zoom, and nothing out of sight to pan.
    const TMovingSlide small({{}, Smooth(100, 75)}, "", Fitted(TFitMode::fmFit), {320, 240},
                             Engine(), 1);
    EXPECT_FALSE(small.Moves());
    for (double t : {0.0, 0.5, 1.0})
        EXPECT_DOUBLE_EQ(small.ViewAt(t).Width, 320);
    EXPECT_EQ(MeanDifference(small.Frame(0), small.Frame(1)), 0);
    // A little larger than the screen: zooms only up to its own size.
    for (std::uint32_t seed = 0; seed < 4; ++seed) {
        const TMovingSlide near({{}, Smooth(336, 252)}, "", Fitted(TFitMode::fmFit), {320, 240},
                                Engine(), seed);
        ASSERT_TRUE(near.Moves());
        double widest = 0;
        for (int k = 0; k <= 20; ++k)
            widest = std::max(widest, near.ViewAt(k / 20.0).Width);
        EXPECT_NEAR(widest, 336, 1e-6);
    }
    // A JPEG decodes no smaller than its closest view needs.
    const std::vector<std::uint8_t> jpeg = EncodeJpeg(Smooth(1280, 960), 90);
    const TMovingSlide decoded({jpeg, {}}, "", Fitted(TFitMode::fmFit), {320, 240}, Engine(), 2);
    EXPECT_TRUE(decoded.Moves());
    EXPECT_EQ(BlackPixels(decoded.Frame(0.5), {0, 0, 320, 240}), 0);
}

TEST(Motion, StillPictureAndCaptionDrawAsTheStillSlide) {
    // At its natural size and smaller than the screen, a picture cannot
    // move; its frames then are the still slide, caption and outline
    // included, within rounding.
    TShowChoices choices = Fitted(TFitMode::fmNatural);
    choices.Caption.Face = "DejaVu Sans";
    choices.Caption.Points = 20;
    choices.Caption.Rgb = 0x30C0FF;
    for (bool shadow : {false, true}) {
        choices.Caption.Shadow = choices.Caption.Inside = shadow;
        const TShowPicture picture{{}, Smooth(200, 150)};
        const TMovingSlide slide(picture, "Lake Ohrid", choices, {320, 240}, Engine(), 5);
        EXPECT_FALSE(slide.Moves());
        const TBitmap24 still = MakeSlide(picture, "Lake Ohrid", choices, {320, 240}, Engine());
        const TBitmap24 frame = slide.Frame(0.3);
        int worst = 0;
        for (int y = 0; y < 240; ++y)
            for (int x = 0; x < 320 * 3; ++x)
                worst = std::max(worst, std::abs(still.Row(y)[x] - frame.Row(y)[x]));
        EXPECT_LE(worst, 1) << "shadow " << shadow;
        EXPECT_GT(MeanDifference(still, MakeSlide(picture, "", choices, {320, 240}, Engine())), 0);
    }
}

// A moving frame drawn in a display's 4-byte pixels has the colours of the
// 3-byte one: picture, blurred border and caption.
TEST(Motion, FramesInEitherPixelSizeHaveTheSameColours) {
    TShowChoices choices = Fitted(TFitMode::fmFit);
    choices.BlurBorders = true;
    choices.Caption.Face = "DejaVu Sans";
    choices.Caption.Points = 18;
    const TShowPicture picture{{}, Smooth(900, 700)};
    const TMovingSlide slide(picture, "Ohrid", choices, {401, 233}, Engine(), 3);
    ASSERT_TRUE(slide.Moves());
    for (double t : {0.0, 0.37, 1.0}) {
        const TBitmap24 three = slide.Frame(t), four = slide.Frame(t, 4);
        ASSERT_EQ(four.PixelBytes(), 4);
        EXPECT_TRUE(test::SamePixels(three, four)) << t;
        TBitmap24 into(10, 10, TBitmap24::kPixels32);
        slide.Draw(t, into);
        EXPECT_EQ(into.Width(), 401);
        EXPECT_EQ(into.PixelBytes(), 4);
        EXPECT_TRUE(test::SamePixels(three, into)) << t;
    }
}

TEST(Motion, OneSeedMovesAlikeAndSeedsVary) {
    const TShowPicture picture{{}, Smooth(640, 480)};
    const TShowChoices choices = Fitted(TFitMode::fmFill);
    const TMovingSlide a(picture, "", choices, {320, 240}, Engine(), MotionSeed(1, 4));
    const TMovingSlide b(picture, "", choices, {320, 240}, Engine(), MotionSeed(1, 4));
    EXPECT_EQ(MeanDifference(a.Frame(0.4), b.Frame(0.4)), 0);
    int zoom_in = 0, right = 0;
    for (int change = 0; change < 40; ++change) {
        const TMovingSlide s(picture, "", choices, {320, 240}, Engine(), MotionSeed(1, change));
        zoom_in += s.ViewAt(1).Width > s.ViewAt(0).Width;
        auto centre = [&](double t) { return s.ViewAt(t).Left + s.ViewAt(t).Width / 2; };
        right += centre(1) > centre(0);
    }
    EXPECT_GT(zoom_in, 5);
    EXPECT_LT(zoom_in, 35);
    EXPECT_GT(right, 5);
    EXPECT_LT(right, 35);
}

} // namespace
} // namespace tevrin
