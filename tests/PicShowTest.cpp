// SPDX-License-Identifier: MIT
#include "picshow/PicShow.h"

#include "effects/BitmapHost.h"
#include "effects/Random.h"
#include "gfx/Copy.h"
#include "platform/headless/HeadlessPlatform.h"
#include "tests/TestSupport.h"

#include <gtest/gtest.h>
#include <memory>

namespace tevrin {
namespace {

TBitmap24 Solid(int w, int h, std::uint32_t rgb) {
    TBitmap24 b(w, h);
    FillRect(b, {0, 0, w, h}, rgb);
    return b;
}

TBitmap24 Pattern(int w, int h, int seed) {
    TBitmap24 b(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w * 3; ++x)
            b.Row(y)[x] = static_cast<std::uint8_t>(x * 7 + y * 13 + seed * 61);
    return b;
}

// The same colours, in either pixel size.
bool SameBits(const TBitmap24& a, const TBitmap24& b) {
    return test::SamePixels(a, b);
}

// A form covering a headless screen with a picture show over all of it, set
// up as the saver uses it.
struct TStage {
    explicit TStage(int w = 64, int h = 48, bool threaded = false, int pixel_bytes = 3)
        : platform(w, h), app(platform), form(std::make_unique<TForm>(app)) {
        platform.KeepFrames = true;
        platform.PixelBytes = pixel_bytes;
        form->SetBounds(0, 0, w, h);
        form->Color = 0;
        show = std::make_unique<TPicShow>(*form);
        show->SetAlign(TAlign::alClient);
        show->SetCenter(true);
        show->SetStretch(true);
        show->Threaded = threaded;
        show->OnProgress = [this](TCustomPicShow& s) {
            events += "p" + std::to_string(s.Progress()) + " ";
        };
        show->OnComplete = [this](TCustomPicShow&) { events += "complete "; };
        form->Show();
        app.ProcessMessages();
    }
    // Runs the loop until `done` holds or `limit` virtual milliseconds pass.
    void RunUntil(const std::function<bool()>& done, std::uint32_t limit = 60000) {
        const std::uint32_t end = platform.TickCount() + limit;
        while (!done() && platform.TickCount() < end) {
            app.ProcessMessages();
            if (done()) break;
            app.WaitMessage(static_cast<int>(end - platform.TickCount()));
        }
    }
    std::size_t FramesSince(std::size_t mark) const { return platform.Frames.size() - mark; }

    THeadlessPlatform platform;
    TApplication app;
    std::unique_ptr<TForm> form;
    std::unique_ptr<TPicShow> show;
    std::string events;
};

// What a display shows that is told only the parts of each frame the
// platform is given.
struct TDisplay {
    TBitmap24 shown;
    std::uint64_t told = 0, frames = 0;
    std::size_t next = 0;

    // Takes the frames presented since the last call; false when what it
    // shows is not the frame presented.
    bool Follow(const THeadlessPlatform& platform) {
        for (; next < platform.Frames.size(); ++next) {
            const THeadlessPlatform::TFrame& f = platform.Frames[next];
            if (shown.Empty()) shown = TBitmap24(f.Image.Width(), f.Image.Height());
            std::vector<TRect> parts = f.Parts;
            if (parts.empty()) parts.push_back(f.Area);
            for (const TRect& r : parts) {
                EXPECT_FALSE(Intersection(r, f.Area) != r) << "a part outside the area";
                told += static_cast<std::uint64_t>(r.Width()) * r.Height();
                for (int y = r.Top; y < r.Bottom; ++y)
                    std::copy_n(f.Image.Row(y) + r.Left * 3, r.Width() * 3,
                                shown.Row(y) + r.Left * 3);
            }
            ++frames;
            if (!SameBits(shown, f.Image)) return false;
        }
        return true;
    }
};

// In the display's 4-byte pixels the frames are drawn straight into the
// window's surface: they must be the same. A display told only of the parts
// that changed shows every frame, and is told much less than every frame
// whole.
TEST(PicShow, EveryStyleInBothModesPresentsTheFramesOfTheFrameRoutine) {
    const TBitmap24 a = Pattern(64, 48, 1), b = Pattern(64, 48, 2);
    for (auto [threaded, pixel_bytes] :
         {std::pair{false, 3}, std::pair{true, 3}, std::pair{false, 4}, std::pair{true, 4}}) {
        TStage stage(64, 48, threaded, pixel_bytes);
        TDisplay display;
        stage.show->SetPicture(a);
        stage.show->Execute();
        stage.RunUntil([&] { return !stage.show->Busy(); });
        for (int style = 0; style <= 127; ++style) {
            const TBitmap24& from = style % 2 ? b : a;
            const TBitmap24& to = style % 2 ? a : b;
            stage.show->Style = static_cast<TShowStyle>(style);
            stage.show->SetPicture(to);
            const std::size_t mark = stage.platform.Frames.size();
            SetRandSeed(style);
            stage.show->Execute();
            stage.RunUntil([&] { return !stage.show->Busy(); });
            ASSERT_FALSE(stage.show->Busy()) << style;
            TBitmapFrameHost reference(from, to, style);
            SetRandSeed(style);
            std::vector<const THeadlessPlatform::TFrame*> frames;
            for (std::size_t i = mark; i < stage.platform.Frames.size(); ++i)
                frames.push_back(&stage.platform.Frames[i]);
            // The preparation moves Progress from the last run's 100 back to
            // 0, which draws a frame; style 0 then completes at once.
            const int expected = style == 0 ? 1 : 26;
            ASSERT_EQ(static_cast<int>(frames.size()), expected)
                << style << " threaded " << threaded;
            for (int i = 0; i < expected; ++i) {
                const int progress = 4 * i;
                ASSERT_TRUE(SameBits(frames[i]->Image, reference.Draw(progress)))
                    << "style " << style << " frame " << i << " threaded " << threaded;
            }
            ASSERT_TRUE(SameBits(stage.show->Screen(), to)) << style;
            ASSERT_FALSE(stage.show->Screen().IsView()) << style;
            ASSERT_TRUE(display.Follow(stage.platform)) << "style " << style;
        }
        EXPECT_LT(display.told, display.frames * 64 * 48 / 2) << "threaded " << threaded;
    }
}

TEST(PicShow, FramesStartDelayApartInVirtualTime) {
    for (bool threaded : {false, true}) {
        TStage stage(32, 24, threaded);
        stage.show->SetPicture(Pattern(32, 24, 3));
        const std::size_t mark = stage.platform.Frames.size();
        const std::uint32_t start = stage.platform.TickCount();
        stage.show->Execute();
        stage.RunUntil([&] { return !stage.show->Busy(); });
        ASSERT_EQ(stage.FramesSince(mark), 25u)
            << "threaded " << threaded << " at " << stage.platform.TickCount();
        // The loop waits until more than Delay has passed; the thread sleeps
        // for exactly the rest of it.
        const std::uint32_t gap = threaded ? 40 : 41;
        for (std::size_t i = mark + 1; i < stage.platform.Frames.size(); ++i)
            EXPECT_EQ(stage.platform.Frames[i].Tick - stage.platform.Frames[i - 1].Tick, gap);
        EXPECT_EQ(stage.platform.Frames.back().Tick - start, 24 * gap);
        // Waiting, not spinning: a handful of waits per frame.
        EXPECT_LT(stage.platform.Waits, 25 * 6) << "threaded " << threaded;
    }
}

TEST(PicShow, TheSameInputGivesTheSameFramesAtTheSameTimes) {
    auto run = [](bool threaded) {
        TStage stage(48, 36, threaded);
        std::vector<std::pair<std::uint32_t, std::uint64_t>> seen;
        SetRandSeed(77);
        for (int style : {127, 65, 119}) {
            stage.show->Style = static_cast<TShowStyle>(style);
            stage.show->SetPicture(Pattern(48, 36, style));
            stage.show->Execute();
            stage.RunUntil([&] { return !stage.show->Busy(); });
        }
        for (const auto& f : stage.platform.Frames)
            seen.emplace_back(f.Tick, f.Hash);
        return seen;
    };
    for (bool threaded : {false, true}) {
        const auto first = run(threaded);
        EXPECT_GT(first.size(), 70u);
        EXPECT_EQ(run(threaded), first) << "threaded " << threaded;
    }
}

TEST(PicShow, StepReverseAndFrameCounts) {
    TStage stage;
    stage.show->SetStep(0);
    EXPECT_EQ(stage.show->Step(), 1);
    stage.show->SetStep(250);
    EXPECT_EQ(stage.show->Step(), 100);
    stage.show->SetStep(3);
    stage.show->SetPicture(Pattern(64, 48, 1));
    stage.show->Execute();
    EXPECT_EQ(stage.events.substr(0, 9), "p3 p6 p9 ");
    EXPECT_NE(stage.events.find("p99 p100 complete "), std::string::npos);
    std::size_t frames = 0;
    for (std::size_t at = 0; (at = stage.events.find(" p", at)) != std::string::npos; ++at)
        ++frames;
    EXPECT_EQ(frames + 1, 34u); // the first has no blank before it

    // Reverse with Step 30 on a fresh control: the preparation frame shows
    // the new picture, then 70, 40, 10, 0; the old image is back at the end.
    TStage fresh;
    fresh.show->Reverse = true;
    fresh.show->SetStep(30);
    fresh.show->SetPicture(Pattern(64, 48, 5));
    fresh.show->Execute();
    EXPECT_EQ(fresh.events, "p100 p70 p40 p10 p0 complete ");
    EXPECT_TRUE(SameBits(fresh.show->Screen(), Solid(64, 48, 0)));
}

TEST(PicShow, ManualHoldsTheTransitionUntilReleased) {
    TStage stage;
    stage.show->SetManual(true);
    stage.show->SetPicture(Pattern(64, 48, 1));
    stage.show->Execute();
    EXPECT_TRUE(stage.show->Busy());
    EXPECT_EQ(stage.events, "");
    stage.show->SetProgress(150);
    EXPECT_EQ(stage.show->Progress(), 100);
    stage.show->SetProgress(40); // backwards is allowed and stays held
    EXPECT_TRUE(stage.show->Busy());
    EXPECT_EQ(stage.events, "p100 p40 ");
    stage.events.clear();
    stage.show->SetManual(false); // runs on from 40 to the end, in the setter
    EXPECT_FALSE(stage.show->Busy());
    EXPECT_EQ(stage.events.substr(0, 8), "p44 p48 ");
    EXPECT_EQ(std::count(stage.events.begin(), stage.events.end(), 'c'), 1);

    // Idle: the setter only moves the field.
    stage.show->Reverse = true;
    stage.show->SetManual(true);
    EXPECT_EQ(stage.show->Progress(), 100);
    stage.show->SetProgress(10);
    EXPECT_EQ(stage.show->Progress(), 100);
}

// A corner of another control's, painted over the picture show.
class TBadge final : public TGraphicControl {
public:
    using TGraphicControl::TGraphicControl;

protected:
    void Paint(TCanvas& canvas) override { canvas.FillRect({0, 0, Width(), Height()}, 0x00FF00); }
};

TEST(PicShow, FramesDrawnInTheWindowsSurfaceOutliveItAndLeaveOtherControlsBe) {
    const TBitmap24 from = Pattern(64, 48, 1), to = Pattern(64, 48, 2);
    TStage stage(64, 48, false, 4);
    stage.show->SetPicture(from);
    stage.show->Execute();
    stage.RunUntil([&] { return !stage.show->Busy(); });
    stage.show->Style = 51;
    stage.show->SetManual(true);
    stage.show->SetPicture(to);
    stage.show->Execute();
    TBitmapFrameHost reference(from, to, 51);
    stage.show->SetProgress(48);
    EXPECT_TRUE(stage.show->Screen().IsView()); // drawn in place
    EXPECT_TRUE(SameBits(stage.platform.Frames.back().Image, reference.Draw(48)));

    // The window grows and shrinks back: each surface is a new one, and the
    // frame the first held is drawn again.
    stage.form->SetBounds(0, 0, 80, 60);
    stage.app.ProcessMessages();
    stage.form->Update();
    stage.form->SetBounds(0, 0, 64, 48);
    stage.app.ProcessMessages();
    stage.form->Update();
    EXPECT_EQ(stage.platform.Frames.back().Image.Width(), 64);
    EXPECT_TRUE(SameBits(stage.platform.Frames.back().Image, reference.Draw(48)));
    stage.show->SetProgress(52);
    EXPECT_TRUE(stage.show->Screen().IsView());
    EXPECT_TRUE(SameBits(stage.platform.Frames.back().Image, reference.Draw(52)));
    stage.show->SetManual(false);
    EXPECT_FALSE(stage.show->Busy());
    EXPECT_FALSE(stage.show->Screen().IsView());
    EXPECT_TRUE(SameBits(stage.show->Screen(), to));

    // With another control over it, frames go through the show's own bitmap
    // and the control stays on top.
    TBadge badge(*stage.form);
    badge.SetBounds(4, 4, 10, 10);
    stage.form->Invalidate();
    stage.form->Update();
    stage.show->SetPicture(from);
    stage.show->SetManual(true);
    stage.show->Execute();
    stage.show->SetProgress(50);
    EXPECT_FALSE(stage.show->Screen().IsView());
    stage.form->Invalidate();
    stage.form->Update();
    const TBitmap24& shown = stage.platform.Frames.back().Image;
    EXPECT_EQ(test::PixelAt(shown, 5, 5), test::kGreen);
    TBitmapFrameHost back(to, from, 51);
    EXPECT_EQ(test::PixelAt(shown, 40, 40), test::PixelAt(back.Draw(50), 40, 40));
}

TEST(PicShow, StopFromAKeyHandlerEndsTheLoopWithoutCompleting) {
    TStage stage;
    stage.show->SetPicture(Pattern(64, 48, 1));
    TEvent key;
    key.Kind = TEvent::KeyDown;
    key.Window = stage.form->Window();
    key.Key = 32;
    stage.platform.Script(stage.platform.TickCount() + 200, key);
    stage.form->OnKeyDown = [&](int&, std::uint8_t) { stage.show->Stop(); };
    stage.show->Execute(); // returns after the handler
    EXPECT_FALSE(stage.show->Busy());
    EXPECT_EQ(stage.events.find("complete"), std::string::npos);
    EXPECT_LT(stage.show->Progress(), 30);
    EXPECT_GT(stage.show->Progress(), 10);
}

TEST(PicShow, StopAndExecuteFromAHandlerRunTheSecondTransitionOnly) {
    TStage stage;
    stage.show->SetPicture(Pattern(64, 48, 1));
    TEvent key;
    key.Kind = TEvent::KeyDown;
    key.Window = stage.form->Window();
    stage.platform.Script(stage.platform.TickCount() + 100, key);
    const TBitmap24 second = Pattern(64, 48, 9);
    stage.form->OnKeyDown = [&](int&, std::uint8_t) {
        stage.show->Stop();
        stage.show->SetPicture(second);
        stage.show->Execute();
    };
    stage.show->Execute();
    EXPECT_FALSE(stage.show->Busy());
    EXPECT_EQ(std::count(stage.events.begin(), stage.events.end(), 'c'), 1);
    EXPECT_EQ(stage.events.substr(stage.events.size() - 14), "p100 complete ");
    EXPECT_TRUE(SameBits(stage.show->Screen(), second));
}

TEST(PicShow, ThreadModeStopAndDestructionDoNotDeadlock) {
    TStage stage(64, 48, true);
    stage.show->SetPicture(Pattern(64, 48, 1));
    stage.show->Execute();
    EXPECT_TRUE(stage.show->Busy());
    stage.RunUntil([&] { return stage.show->Progress() >= 40; });
    stage.show->Stop();
    EXPECT_FALSE(stage.show->Busy());
    EXPECT_EQ(stage.events.find("complete"), std::string::npos);
    // Destroyed mid-transition: waits for the thread, fires nothing.
    stage.show->SetPicture(Pattern(64, 48, 2));
    stage.show->Execute();
    stage.RunUntil([&] { return stage.show->Progress() >= 20; });
    stage.events.clear();
    stage.show.reset();
    EXPECT_EQ(stage.events.find("complete"), std::string::npos);
}

TEST(PicShow, ATransitionKeepsItsPictureAndOldImageWhateverHappensAroundIt) {
    // Style 13 at 50 shows parts of both images.
    const int style = 13;
    // A picture replaced or cleared mid-transition: the frames still come
    // from the one being shown, and the next Execute shows the new one.
    for (bool clear : {false, true}) {
        TStage stage;
        const TBitmap24 first = Pattern(64, 48, 1), second = Pattern(64, 48, 2),
                        third = Pattern(64, 48, 3);
        stage.show->SetPicture(first);
        stage.show->Execute();
        stage.show->Style = style;
        stage.show->SetManual(true);
        stage.show->SetPicture(second);
        stage.show->Execute();
        if (clear)
            stage.show->ClearPicture();
        else
            stage.show->SetPicture(third);
        stage.show->SetProgress(50);
        TBitmapFrameHost reference(first, second, style);
        EXPECT_TRUE(SameBits(stage.show->Screen(), reference.Draw(50))) << clear;
        stage.show->SetManual(false);
        EXPECT_FALSE(stage.show->Busy());
        EXPECT_TRUE(SameBits(stage.show->Screen(), second)) << clear;
        EXPECT_EQ(stage.show->Picture().has_value(), !clear);
        if (!clear) {
            stage.show->Execute();
            EXPECT_TRUE(SameBits(stage.show->Screen(), third));
        }
    }

    // The old image is what the control showed, pixel for pixel where the
    // new picture (centred, larger than the control) will appear; what the
    // form shows around the control is not part of it.
    TStage stage(100, 80);
    stage.form->Color = 0x0000FF;
    stage.show->SetAlign(TAlign::alNone);
    stage.show->SetAutoSize(false);
    stage.show->SetBounds(10, 10, 80, 60);
    stage.show->SetStretch(false);
    const TBitmap24 small = Pattern(80, 60, 4), large = Pattern(100, 80, 5);
    stage.show->SetPicture(small);
    stage.show->Execute();
    stage.form->Update();
    stage.show->Style = style;
    stage.show->SetManual(true);
    stage.show->SetPicture(large);
    stage.show->Execute();
    stage.show->SetProgress(50);
    TBitmap24 old(100, 80);
    StretchCopy(old, 10, 10, 80, 60, small, 0, 0, 80, 60);
    TBitmapFrameHost reference(old, large, style);
    EXPECT_TRUE(SameBits(stage.show->Screen(), reference.Draw(50)));
}

// A moving show's way: each picture drawn into storage taken from the show
// and cleared once its transition is over. A still show's way: each picture
// in 3-byte pixels, widened by the show into storage.
TEST(PicShow, KeptStorageServesTheNextTransitionAndChangesNoFrame) {
    auto run = [](bool keep, bool moving) {
        TStage stage(64, 48, false, 4);
        stage.show->SetKeepStorage(keep);
        SetRandSeed(5);
        for (int k = 0; k < 4; ++k) {
            // From the second picture on, drawn into the storage of one
            // before it: the cleared picture, and when keeping the old
            // image too.
            const std::size_t kept = stage.show->KeptStorage();
            EXPECT_EQ(kept, k == 0 ? 0u : keep ? 2u : 1u) << k;
            TBitmap24 picture = Pattern(64, 48, k);
            if (moving) {
                picture = stage.show->TakeStorage(64, 48, 4);
                EXPECT_EQ(stage.show->KeptStorage(), kept == 0 ? 0 : kept - 1);
                CopyBitmap(picture, Pattern(64, 48, k));
            }
            stage.show->Style = static_cast<TShowStyle>(13 + k * 29);
            stage.show->SetPicture(std::move(picture));
            stage.show->Execute();
            // The old image, and a still picture's widening, took the rest;
            // the old image is back as the transition ends.
            EXPECT_EQ(stage.show->KeptStorage(), keep ? 1u : 0u) << k;
            stage.RunUntil([&] { return !stage.show->Busy(); });
            EXPECT_TRUE(SameBits(stage.show->Screen(), Pattern(64, 48, k)));
            stage.show->ClearPicture();
        }
        std::vector<std::uint64_t> hashes;
        for (const auto& f : stage.platform.Frames)
            hashes.push_back(f.Hash);
        if (keep) {
            // Storage of another size is not kept waiting, nor any once
            // keeping ends.
            const TBitmap24 other = stage.show->TakeStorage(32, 48, 4);
            EXPECT_EQ(other.Width(), 32);
            EXPECT_EQ(other.PixelBytes(), 4);
            EXPECT_EQ(stage.show->KeptStorage(), 0u);
            stage.show->SetPicture(Pattern(64, 48, 9));
            stage.show->Execute();
            stage.RunUntil([&] { return !stage.show->Busy(); });
            stage.show->ClearPicture();
            EXPECT_EQ(stage.show->KeptStorage(), 2u);
            stage.show->SetKeepStorage(false);
            EXPECT_EQ(stage.show->KeptStorage(), 0u);
        }
        return hashes;
    };
    for (const bool moving : {true, false}) {
        const auto kept = run(true, moving);
        EXPECT_GT(kept.size(), 40u);
        EXPECT_EQ(kept, run(false, moving)) << moving;
    }
}

TEST(PicShow, FitRectAndPictureRectangles) {
    // A portrait picture on a landscape area: full height, centred.
    EXPECT_EQ(FitRect({0, 0, 300, 600}, {0, 0, 800, 600}), (TRect{250, 0, 550, 600}));
    // A tie takes the height-limited branch.
    EXPECT_EQ(FitRect({0, 0, 400, 300}, {10, 20, 810, 620}), (TRect{10, 20, 810, 620}));
    EXPECT_EQ(FitRect({0, 0, 1000, 100}, {0, 0, 800, 600}), (TRect{0, 260, 800, 340}));

    TStage stage(100, 80);
    stage.show->SetStretch(false);
    stage.show->SetPicture(Pattern(140, 100, 1));
    stage.show->Execute();
    // Centred and larger than the control: cut evenly on both sides.
    EXPECT_EQ(stage.show->PictureRect(), (TRect{-20, -10, 120, 90}));
}

TEST(PicShow, ClearLeavesTheColourAndIsIgnoredWhileBusy) {
    TStage stage(32, 24);
    stage.show->SetPicture(Solid(32, 24, 0x00FF00));
    stage.show->Execute();
    EXPECT_FALSE(stage.show->Screen().Empty());
    stage.show->Clear();
    EXPECT_TRUE(stage.show->Screen().Empty());
    stage.form->Update();
    const TBitmap24& shown = stage.form->BackBuffer();
    EXPECT_EQ(shown.Row(5)[5 * 3 + 1], 0);
}

} // namespace
} // namespace tevrin
