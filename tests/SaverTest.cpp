// SPDX-License-Identifier: MIT
#include "app/Entry.h"
#include "app/RunOptions.h"
#include "base/Paths.h"
#include "effects/Random.h"
#include "gfx/Compose.h"
#include "gfx/Copy.h"
#include "gfx/Exif.h"
#include "gfx/Jpeg.h"
#include "payload/Payload.h"
#include "platform/Registry.h"
#include "platform/headless/HeadlessPlatform.h"
#include "saver/SaverWindow.h"
#include "setup/StoredSettings.h"
#include "tests/TestSupport.h"
#include "tools/Pack.h"
#include "ui/Keys.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <set>

namespace tevrin {
namespace {

using test::MeanDifference;

namespace fs = std::filesystem;

constexpr int kW = 160, kH = 120;

// A packed saver on a headless screen, its window shown and activated.
struct TSaverRun {
    explicit TSaverRun(const std::function<void(TSSFileLocations&, test::TSaverParts&)>& setup,
                       bool keep_frames = false, int width = kW, int height = kH)
        : TSaverRun(setup, {{{0, 0, width, height}}}, keep_frames) {}
    TSaverRun(const std::function<void(TSSFileLocations&, test::TSaverParts&)>& setup,
              std::vector<TMonitor> monitors, bool keep_frames = false)
        : platform(std::move(monitors)) {
        TSSFileLocations record(96);
        record.Ver = "photo";
        record.Interval = 1000;
        record.SoundRandom = 1;
        parts.Pictures = {test::TestJpeg(100, 80), test::TestJpeg(200, 60),
                          test::TestJpeg(40, 140)};
        setup(record, parts);
        saver = dir.File("run.scr");
        test::WriteBytes(saver, test::BuildSaver(parts, record));
        platform.KeepFrames = keep_frames;
        window = std::make_unique<TfrmScrn>(app, saver, temp.Path(), user.Path());
        window->PShow().OnComplete = [this](TCustomPicShow& s) {
            styles.push_back(s.Style);
            shown.push_back(s.Screen());
            ended_at.push_back(platform.TickCount());
        };
    }
    void Start() { window->Show(); }
    void RunFor(std::uint32_t ms) {
        platform.StopAt(platform.TickCount() + ms);
        while (!app.Terminated() && !platform.Exhausted()) {
            app.ProcessMessages();
            if (app.Terminated()) break;
            bool done = true;
            if (app.OnIdle) app.OnIdle(done);
            app.WaitMessage(-1);
        }
    }
    void Input(std::uint32_t at, TEvent::TKind kind, int x = 0, int y = 0) {
        TEvent e;
        e.Kind = kind;
        e.Window = window->Window();
        e.X = x;
        e.Y = y;
        platform.Script(at, e);
    }
    TBitmap24 Expected(int picture) const {
        const auto& jpeg = parts.Pictures[picture];
        return ComposeCentered(DecodeJpeg(jpeg.data(), jpeg.size()), kW, kH);
    }
    THeadlessServices& Services() { return platform.Headless(); }

    test::TScratchDir dir, temp, user;
    test::TSaverParts parts;
    std::string saver;
    THeadlessPlatform platform;
    TApplication app{platform};
    std::unique_ptr<TfrmScrn> window;
    std::vector<int> styles;
    std::vector<TBitmap24> shown;
    std::vector<std::uint32_t> ended_at; // on the virtual clock
};

bool Same(const TBitmap24& a, const TBitmap24& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
    for (int y = 0; y < a.Height(); ++y)
        if (!std::equal(a.Row(y), a.Row(y) + a.Width() * 3, b.Row(y))) return false;
    return true;
}

TEST(Saver, PicturesInOrderWithStylesFrom52AndTheScreenCovered) {
    TSaverRun run([](TSSFileLocations&, test::TSaverParts&) {});
    run.Start();
    EXPECT_TRUE(run.window->Topmost());
    EXPECT_EQ(run.window->BoundsRect(), (TRect{0, 0, kW, kH}));
    EXPECT_FALSE(run.platform.CursorVisible);
    EXPECT_TRUE(run.Services().SaverRunning);
    run.RunFor(8000);
    // Each step: a transition of about a second, then the interval.
    ASSERT_GE(run.shown.size(), 4u);
    EXPECT_EQ(run.styles[0], 52);
    EXPECT_EQ(run.styles[1], 53);
    for (std::size_t i = 0; i < run.shown.size(); ++i)
        EXPECT_TRUE(Same(run.shown[i], run.Expected(static_cast<int>(i % 3)))) << "step " << i;
    // Waiting between transitions, not spinning.
    EXPECT_LT(run.platform.Waits, 400);
}

TEST(Saver, StylesWrapAfter127AndIntervalZeroShowsOnePicture) {
    TSaverRun run([](TSSFileLocations& r, test::TSaverParts&) { r.Interval = 0; });
    run.window->PShow().Style = 126;
    run.Start();
    run.RunFor(10000);
    ASSERT_EQ(run.styles.size(), 1u);
    EXPECT_EQ(run.styles[0], 127);
    TSaverRun wrap([](TSSFileLocations& r, test::TSaverParts&) { r.Interval = 10; });
    wrap.window->PShow().Style = 126;
    wrap.Start();
    wrap.RunFor(3000);
    ASSERT_GE(wrap.styles.size(), 2u);
    EXPECT_EQ(wrap.styles[1], 1);
}

TEST(Saver, ChosenStylesComeInTheirOrderOrAtRandomAndUnknownOnesArePassedOver) {
    TSSFileLocations record(96);
    record.Styles = {51, 200, 3, 118};
    TShowChoices choices = TShowChoices::Of(record);
    TSlideOrder order(choices, 3);
    // The first named comes first, though the show starts from style 51,
    // then the list's order, wrapping; 200 is no style of this engine.
    EXPECT_EQ(order.NextStyle(51), 51);
    EXPECT_EQ(order.NextStyle(51), 3);
    EXPECT_EQ(order.NextStyle(3), 118);
    EXPECT_EQ(order.NextStyle(118), 51);
    // From a style not chosen: the next higher chosen one, else the first.
    EXPECT_EQ(order.NextStyle(60), 118);
    EXPECT_EQ(order.NextStyle(120), 51);
    EXPECT_EQ(order.NextStyle(2), 51);
    choices.RandomStyle = true;
    std::set<int> drawn;
    for (int i = 0; i < 200; ++i)
        drawn.insert(order.NextStyle(51));
    EXPECT_EQ(drawn, (std::set<int>{3, 51, 118}));
    // None that this engine has: every transition, as with none chosen, and
    // a classic show goes on from the style it starts from.
    record.Styles = {200, 255};
    const TShowChoices none_known = TShowChoices::Of(record);
    TSlideOrder classic(none_known, 3);
    EXPECT_EQ(classic.NextStyle(51), 52);
    EXPECT_EQ(classic.NextStyle(127), 1);

    TSaverRun run([](TSSFileLocations& r, test::TSaverParts&) {
        r.Styles = {51, 3, 118};
        r.Interval = 10;
    });
    run.Start();
    run.RunFor(6000);
    ASSERT_GE(run.styles.size(), 4u);
    EXPECT_EQ((std::vector<int>(run.styles.begin(), run.styles.begin() + 4)),
              (std::vector<int>{51, 3, 118, 51}));
}

TEST(Saver, PicturesKeepTheirOwnTimesAndTransitionsTheirLength) {
    // Classic: 25 frames of 40 ms, then Interval.
    TSaverRun classic([](TSSFileLocations&, test::TSaverParts&) {});
    classic.Start();
    classic.RunFor(9000);
    ASSERT_GE(classic.ended_at.size(), 4u);
    for (std::size_t k = 1; k < classic.ended_at.size(); ++k)
        EXPECT_NEAR(classic.ended_at[k] - classic.ended_at[k - 1], 1000 + 1000, 60) << k;
    // Two-second transitions; picture 0 stays 3 s, picture 1 the show's
    // 1 s, picture 2 half a second.
    TSaverRun timed([](TSSFileLocations& r, test::TSaverParts&) {
        r.TransitionTime = 2000;
        r.Intervals = TStringList{"3000", "", "500"};
    });
    timed.Start();
    timed.RunFor(24000);
    ASSERT_GE(timed.ended_at.size(), 6u);
    EXPECT_NEAR(timed.ended_at[0], 2000, 100);
    const int stays[] = {3000, 1000, 500};
    for (std::size_t k = 1; k < timed.ended_at.size(); ++k)
        EXPECT_NEAR(timed.ended_at[k] - timed.ended_at[k - 1], stays[(k - 1) % 3] + 2000, 100) << k;
}

TEST(Saver, PicturesCarryTheirOwnCaptionsInPlaceOfTheShowsText) {
    TSaverRun run([](TSSFileLocations& r, test::TSaverParts&) {
        r.Text = "Everyone's";
        r.Captions = TStringList{"One", "", "Three"};
        r.TextFont.Color = 0xFFFFFF;
        r.TextFont.SetSize(12);
    });
    run.Start();
    run.RunFor(9000);
    ASSERT_GE(run.shown.size(), 4u);
    for (std::size_t k = 0; k < run.shown.size(); ++k) {
        const int picture = static_cast<int>(k % 3);
        const TBitmap24 plain = run.Expected(picture);
        // The top half is the picture alone; the bottom holds the caption
        // where the picture has one, and nothing else.
        EXPECT_TRUE(std::equal(plain.Row(0), plain.Row(kH / 2), run.shown[k].Row(0))) << k;
        EXPECT_EQ(Same(run.shown[k], plain), picture == 1) << "step " << k;
    }
}

TEST(Saver, RandomPicturesAndClearingTheOldImage) {
    TSaverRun random([](TSSFileLocations& r, test::TSaverParts&) {
        r.lRandomPic = true;
        r.Interval = 50;
    });
    SetRandSeed(3);
    random.Start();
    random.RunFor(30000);
    ASSERT_GE(random.shown.size(), 20u);
    std::set<int> seen;
    for (const TBitmap24& b : random.shown)
        for (int i = 0; i < 3; ++i)
            if (Same(b, random.Expected(i))) seen.insert(i);
    EXPECT_EQ(seen.size(), 3u); // every picture turns up, in no fixed order

    // With lClearOldImage each transition starts from black: early in the
    // second transition (a wipe from the right) the centre, where the first
    // picture was, is black.
    for (bool clear_old : {true, false}) {
        TSaverRun run(
            [&](TSSFileLocations& r, test::TSaverParts&) {
                r.lClearOldImage = clear_old;
                r.Interval = 100;
            },
            true);
        run.window->PShow().Style = 4; // then 5 (from the left) and 6 (from the right)
        std::size_t mark = 0;
        run.window->PShow().OnComplete = [&](TCustomPicShow&) {
            if (mark == 0) mark = run.platform.Frames.size();
        };
        run.Start();
        run.RunFor(3000);
        ASSERT_GT(run.platform.Frames.size(), mark + 4);
        const TBitmap24& early = run.platform.Frames[mark + 3].Image;
        const std::uint8_t* centre = early.Row(kH / 2) + (kW / 2) * 3;
        EXPECT_EQ(centre[0] == 0 && centre[1] == 0 && centre[2] == 0, clear_old);
    }
}

TEST(Saver, CaptionsOnEveryOtherPicture) {
    TSaverRun run([](TSSFileLocations& r, test::TSaverParts& p) {
        r.Text = "Hello";
        r.TextFont.Color = 0x0000FF; // red
        r.TextFont.Height = -20;
        p.Pictures = {test::TestJpeg(8, 8)}; // the bottom of the screen stays black
    });
    run.Start();
    run.RunFor(5000);
    ASSERT_GE(run.shown.size(), 2u);
    auto red_pixels = [](const TBitmap24& b) {
        int n = 0;
        for (int y = kH - 25; y < kH; ++y)
            for (int x = 0; x < kW; ++x)
                n += b.Row(y)[x * 3 + 2] > 128;
        return n;
    };
    EXPECT_GT(red_pixels(run.shown[0]), 20);
    EXPECT_EQ(red_pixels(run.shown[1]), 0);
}

TEST(Saver, MouseMovesEndItOnlyWhenTheyGoMoreThanTwoPixelsBothWays) {
    struct {
        std::vector<std::pair<int, int>> moves;
        bool ends;
    } cases[] = {
        {{{50, 50}}, false}, // the first move only records
        {{{50, 50}, {53, 53}}, true},
        {{{50, 50}, {100, 51}}, false},
        {{{50, 50}, {53, 47}}, true},
        {{{50, 50}, {52, 52}, {53, 53}}, true}, // a slow drift from the reference
        {{{50, 50}, {51, 100}}, false},
    };
    for (const auto& c : cases) {
        TSaverRun run([](TSSFileLocations&, test::TSaverParts&) {});
        run.Start();
        std::uint32_t at = 100;
        for (auto [x, y] : c.moves)
            run.Input(at += 10, TEvent::MouseMove, x, y);
        run.RunFor(400);
        EXPECT_EQ(run.window->Closed(), c.ends) << c.moves.size();
    }
}

TEST(Saver, KeysAndClicksEndItAndCleanUp) {
    for (TEvent::TKind kind : {TEvent::KeyDown, TEvent::MouseDown}) {
        std::string temp_path;
        {
            TSaverRun run([](TSSFileLocations&, test::TSaverParts& p) {
                p.Sounds = {{"a.wav", test::AsBytes("RIFF")}};
            });
            run.Start();
            temp_path = run.window->Temp().Path();
            EXPECT_TRUE(fs::exists(temp_path));
            run.Input(1500, kind, 20, 20); // in the middle of the first transition
            run.RunFor(5000);
            EXPECT_TRUE(run.window->Closed());
            EXPECT_TRUE(run.platform.CursorVisible);
            EXPECT_FALSE(run.Services().SaverRunning);
            run.window.reset();
        }
        EXPECT_FALSE(fs::exists(temp_path));
    }
}

TEST(Saver, ARefusedPasswordKeepsItRunningAndIgnoresFiveMoves) {
    TSaverRun run([](TSSFileLocations&, test::TSaverParts&) {});
    run.Services().Registry["Control Panel\\Desktop\\ScreenSaveUsePassword"] = "1";
    run.Services().PasswordAnswer = false;
    run.Start();
    run.Input(100, TEvent::KeyDown);
    run.Input(110, TEvent::MouseMove, 10, 10);
    for (int i = 0; i < 5; ++i)
        run.Input(120 + i, TEvent::MouseMove, 100 + i * 10, 100);
    run.RunFor(300);
    EXPECT_FALSE(run.window->Closed());
    EXPECT_EQ(run.window->ExitRules().IgnoredMovesLeft(), 0);
    EXPECT_FALSE(run.platform.CursorVisible);
    run.Services().PasswordAnswer = true;
    run.Input(400, TEvent::MouseDown, 5, 5);
    run.RunFor(200);
    EXPECT_TRUE(run.window->Closed());
}

TEST(Saver, SoundsInOrderRandomOrMutedByTheStoredSetting) {
    auto plays = [](int sound_random, const std::string& stored_mute, bool record_mute) {
        TSaverRun run([&](TSSFileLocations& r, test::TSaverParts& p) {
            r.SoundRandom = sound_random;
            r.lMute = record_mute;
            p.Sounds = {{"a.wav", test::AsBytes("A")},
                        {"b.wav", test::AsBytes("B")},
                        {"c.wav", test::AsBytes("C")}};
        });
        if (!stored_mute.empty())
            test::WriteBytes(JoinPath(run.dir.Path(), "CONTROL.INI"),
                             test::AsBytes("[Setup]\nmute=" + stored_mute + "\n"));
        run.Services().DefaultSoundLength = 1000;
        run.Start();
        run.RunFor(4500);
        std::string order;
        for (const std::string& line : run.Services().Log)
            if (line.rfind("play ", 0) == 0) order += line.substr(5, 1);
        return order;
    };
    EXPECT_EQ(plays(1, "", false), "abcab");
    SetRandSeed(11);
    const std::string random = plays(2, "", false);
    EXPECT_EQ(random.size(), 5u);
    EXPECT_NE(random, "abcab");
    EXPECT_EQ(plays(1, "1", false), "");
    EXPECT_EQ(plays(1, "", true), "");
    EXPECT_EQ(plays(1, "0", true), "abcab");
    const std::string repeated = plays(3, "", false);
    ASSERT_EQ(repeated.size(), 5u);
    EXPECT_EQ(repeated, std::string(5, repeated[0]));
}

TEST(Saver, ASoundThatCannotOpenIsPassedOverForTheNext) {
    TSaverRun run([](TSSFileLocations&, test::TSaverParts& p) {
        p.Sounds = {{"a.wav", test::AsBytes("A")}, {"b.wav", test::AsBytes("B")}};
    });
    run.Services().UnopenableSounds = {"a.wav"};
    run.Start();
    run.RunFor(8000);
    const auto& log = run.Services().Log;
    const auto opened_a = std::find(log.begin(), log.end(), "open a.wav");
    ASSERT_NE(opened_a, log.end());
    EXPECT_EQ(opened_a[1], "open b.wav");
    EXPECT_EQ(std::count(log.begin(), log.end(), "play a.wav"), 0);
    EXPECT_GE(std::count(log.begin(), log.end(), "play b.wav"), 1);
    EXPECT_GE(run.shown.size(), 3u); // the pictures go on
}

TEST(Saver, ASoundEntryOutsideThePayloadIsReportedOnceAndTheRestPlays) {
    TSaverRun run([](TSSFileLocations& r, test::TSaverParts& p) {
        p.Sounds = {{"a.wav", test::AsBytes("A")}, {"b.wav", test::AsBytes("B")}};
        // Built with the parts, then one more entry pointing past the file.
        r.Title = "patched below";
    });
    TSSFileLocations record(96);
    {
        TTempFolder scratch(run.temp.Path());
        LoadPayload(run.saver, record, scratch);
        RemoveExtractedFiles(record, scratch);
    }
    record.SetCommaText(TSSFileLocations::SndList,
                        record.CommaText(TSSFileLocations::SndList) + ",999999999");
    record.SetCommaText(TSSFileLocations::SndFileNamesList, "a.wav,b.wav,far.wav");
    record.SetCommaText(TSSFileLocations::SndSizesList, "1,1,10");
    test::WriteBytes(run.saver,
                     test::AppendRecord(test::ReadBytes(run.saver), WriteComponent(record)));
    run.Start();
    run.RunFor(3000);
    ASSERT_EQ(run.platform.MessageBoxes.size(), 1u);
    EXPECT_EQ(run.platform.MessageBoxes[0].Text, "Stream read error");
    EXPECT_EQ(run.app.Failures(), std::vector<std::string>{"Stream read error"});
    const auto& log = run.Services().Log;
    EXPECT_GE(std::count(log.begin(), log.end(), "play a.wav"), 1);
    EXPECT_FALSE(run.shown.empty()); // the show goes on
}

TEST(Saver, SoundsThatAllFailStopInsteadOfRestartingForever) {
    TSaverRun run([](TSSFileLocations&, test::TSaverParts& p) {
        p.Sounds = {{"a.wav", test::AsBytes("A")}, {"b.wav", test::AsBytes("B")}};
    });
    run.Services().FailingSounds = {"a.wav", "b.wav"};
    run.Start();
    run.RunFor(3000);
    int played = 0;
    for (const std::string& line : run.Services().Log)
        played += line.rfind("play ", 0) == 0;
    EXPECT_EQ(played, 2);
    EXPECT_FALSE(run.shown.empty()); // the slide show went on
    // One good sound among failing ones keeps the music going.
    TSaverRun mixed([](TSSFileLocations&, test::TSaverParts& p) {
        p.Sounds = {{"a.wav", test::AsBytes("A")}, {"b.wav", test::AsBytes("B")}};
    });
    mixed.Services().FailingSounds = {"a.wav"};
    mixed.Services().DefaultSoundLength = 500;
    mixed.Start();
    mixed.RunFor(3000);
    played = 0;
    for (const std::string& line : mixed.Services().Log)
        played += line.rfind("play ", 0) == 0;
    EXPECT_GT(played, 6);
}

TEST(Saver, AnUnreadableRecordEndsTheRunWithItsCleanUp) {
    TSaverRun run([](TSSFileLocations&, test::TSaverParts& p) {
        p.Sounds = {{"a.wav", test::AsBytes("A")}};
    });
    // Point the trailer's record offset at the stub, which is no stream.
    test::TBytes file = test::ReadBytes(run.saver);
    const std::string bad = "0" + std::string(19, ' ');
    std::copy(bad.begin(), bad.end(), file.end() - 20);
    test::WriteBytes(run.saver, file);
    run.Start();
    EXPECT_TRUE(run.app.Terminated());
    run.window.reset();
    EXPECT_TRUE(run.platform.CursorVisible);
    EXPECT_FALSE(run.Services().SaverRunning);
    EXPECT_TRUE(fs::is_empty(run.temp.Path()));
}

TEST(Saver, AShortTrailerLeavesTheDesignedWindowWaiting) {
    TSaverRun run([](TSSFileLocations&, test::TSaverParts&) {});
    test::WriteBytes(run.saver, test::AsBytes("MZ but no payload"));
    run.Start();
    run.RunFor(1000);
    EXPECT_TRUE(run.window->FirstActivate());
    EXPECT_EQ(run.window->BoundsRect().Width(), 423);
    EXPECT_TRUE(run.platform.CursorVisible);
    EXPECT_FALSE(run.window->ShowStarted());
    // The reference position is still (0, 0): a diagonal move ends it.
    run.Input(1100, TEvent::MouseMove, 5, 5);
    run.RunFor(200);
    EXPECT_TRUE(run.window->Closed());
}

} // namespace
} // namespace tevrin

namespace tevrin {
namespace {

struct TEntry {
    explicit TEntry(TFitMode fit = TFitMode::fmNatural) {
        TSSFileLocations record(96);
        record.Ver = "photo";
        record.Interval = 500;
        record.FitMode = fit;
        test::TSaverParts parts;
        parts.Pictures = {test::TestJpeg(40, 30)};
        saver = dir.File("Garden.scr");
        test::WriteBytes(saver, test::BuildSaver(parts, record));
    }
    int Run(const std::vector<std::string>& args, std::uint32_t seconds = 2) {
        platform.StopAt(platform.TickCount() + seconds * 1000);
        return RunSaver(app, args, saver, temp.Path(), user.Path());
    }
    test::TScratchDir dir, temp, user;
    std::string saver;
    THeadlessPlatform platform;
    TApplication app{platform};
};

TEST(Entry, PreviewShowsTheFirstPictureAsTheShowComposesItUntilTheWindowGoes) {
    TEntry entry(TFitMode::fmFit);
    THeadlessServices& services = entry.platform.Headless();
    auto& window = services.ForeignWindows[4242];
    window.Visible = false;
    window.Rect = {10, 10, 210, 110};
    entry.platform.ScriptCall(300, [&] { window.Visible = true; });
    // The window grows: the picture is composed again for the new size.
    std::optional<TBitmap24> first;
    entry.platform.ScriptCall(600, [&] {
        first = window.Last;
        window.Rect = {10, 10, 170, 130};
    });
    entry.platform.ScriptCall(900, [&] { window.Visible = false; });
    EXPECT_EQ(entry.Run({"/p", "4242"}, 5), 0);
    EXPECT_EQ(window.Draws, 2);
    // A 40x30 picture fitted into 200x100 keeps its shape: 133x100,
    // centred, black at the sides; into 160x120 it fills the window.
    ASSERT_TRUE(first.has_value());
    const TBitmap24& wide = *first;
    ASSERT_EQ(wide.Width(), 200);
    ASSERT_EQ(wide.Height(), 100);
    EXPECT_TRUE(test::SamePixels(
        wide, ComposeJpeg(test::TestJpeg(40, 30), 200, 100, TFitMode::fmFit, false)));
    EXPECT_EQ(test::PixelAt(wide, 10, 50), test::kBlack);
    EXPECT_NE(test::PixelAt(wide, 100, 50), test::kBlack);
    EXPECT_EQ(window.Last.Width(), 160);
    EXPECT_EQ(window.Last.Height(), 120);
    EXPECT_TRUE(test::SamePixels(
        window.Last, ComposeJpeg(test::TestJpeg(40, 30), 160, 120, TFitMode::fmFit, false)));
    EXPECT_GE(entry.platform.TickCount(), 900u); // it stayed while the window was there
    EXPECT_LT(entry.platform.TickCount(), 1100u);
    EXPECT_LT(entry.platform.Waits, 60); // waited for the window, did not spin
    EXPECT_TRUE(entry.platform.Frames.empty());
}

TEST(Entry, PlatformsAreChosenByName) {
    std::vector<std::string> names;
    for (const TPlatformEntry& entry : Platforms())
        names.push_back(entry.Name);
    ASSERT_GE(names.size(), 1u);
    EXPECT_EQ(names.back(), "headless");
#if defined(_WIN32)
    EXPECT_EQ(names.front(), "win32");
#else
    EXPECT_EQ(names.front(), "sdl");
#endif
    TPlatformOptions options;
    options.Screens = *ParseScreens("320x200+0+0,200x100+320+0");
    options.Seconds = 2;
    const std::unique_ptr<TPlatform> headless = MakePlatform("headless", options);
    ASSERT_EQ(headless->Monitors().size(), 2u);
    EXPECT_EQ(headless->Monitors()[1].Bounds, (TRect{320, 0, 520, 100}));
    std::string all;
    for (const std::string& name : names)
        all += (all.empty() ? "" : ", ") + name;
    EXPECT_EQ(test::ErrorOf([&] { MakePlatform("dos", options); }),
              "No platform dos in this build (it has " + all + ")");
}

TEST(Entry, BadHandlesAndMissingProvidersEndQuietly) {
    TEntry entry;
    EXPECT_EQ(entry.Run({"/p"}), 0);
    EXPECT_EQ(entry.Run({"/p", "abc"}), 0);
    EXPECT_EQ(entry.Run({"/a", "77"}), 0);
    EXPECT_EQ(entry.Run({"/a"}), 0);
    const auto& log = entry.platform.Headless().Log;
    EXPECT_EQ(std::count(log.begin(), log.end(), "change password"), 1);
    EXPECT_TRUE(entry.platform.MessageBoxes.empty());
    EXPECT_TRUE(entry.platform.Frames.empty());
}

TEST(Entry, ASecondInstanceOfTheSameFileEndsAtOnce) {
    TEntry entry;
    entry.platform.Headless().GuardsHeldElsewhere.insert("Garden.scrSemaphore");
    EXPECT_EQ(entry.Run({"/s"}), 0);
    EXPECT_TRUE(entry.platform.Frames.empty());
    EXPECT_FALSE(entry.platform.Headless().SaverRunning);
}

TEST(Entry, TheSaverModeRunsUntilTheRunEnds) {
    TEntry entry;
    EXPECT_EQ(entry.Run({"/S"}, 3), 0);
    EXPECT_FALSE(entry.platform.Frames.empty());
    EXPECT_FALSE(entry.platform.Headless().SaverRunning); // cleaned up on the way out
    EXPECT_TRUE(entry.platform.CursorVisible);
    EXPECT_TRUE(fs::is_empty(entry.temp.Path()));
}

} // namespace
} // namespace tevrin

namespace tevrin {
namespace {

void MovieSaver(TSSFileLocations& r, test::TSaverParts& p, int pictures) {
    r.Ver = "flash";
    r.Interval = 200;
    p.Pictures.resize(pictures);
    for (auto& picture : p.Pictures)
        picture = test::TestJpeg(30, 20);
    p.Movies = {{"one.swf", test::AsBytes("FWS1")}, {"two.swf", test::AsBytes("FWS2")}};
}

TEST(Movies, AMissingPlayerOffersItsDownloadAndEndsEitherWay) {
    for (int answer : {kIdYes, kIdNo}) {
        TSaverRun run([](TSSFileLocations& r, test::TSaverParts& p) { MovieSaver(r, p, 2); });
        run.platform.MessageBoxAnswers = {answer};
        run.Start();
        run.RunFor(1000);
        ASSERT_EQ(run.platform.MessageBoxes.size(), 1u);
        EXPECT_EQ(run.platform.MessageBoxes[0].Text,
                  "Please install the Macromedia Flash Player ActiveX control.");
        EXPECT_EQ(run.platform.MessageBoxes[0].Buttons, kMbYesNo | kMbIconInformation);
        const auto& log = run.Services().Log;
        const bool opened = std::any_of(
            log.begin(), log.end(), [](const std::string& l) { return l.rfind("shell ", 0) == 0; });
        EXPECT_EQ(opened, answer == kIdYes);
        EXPECT_TRUE(run.app.Terminated());
        EXPECT_TRUE(run.shown.empty());
    }
    TSaverRun translated([](TSSFileLocations& r, test::TSaverParts& p) { MovieSaver(r, p, 0); });
    test::WriteBytes(translated.dir.File("tevrin.ini"),
                     test::AsBytes("[Language]\nDownloadSWF=Bitte den Spieler installieren\n"));
    translated.Start();
    ASSERT_EQ(translated.platform.MessageBoxes.size(), 1u);
    EXPECT_EQ(translated.platform.MessageBoxes[0].Text, "Bitte den Spieler installieren");
}

TEST(Movies, PicturesFirstThenTheMoviesInTurn) {
    TSaverRun run([](TSSFileLocations& r, test::TSaverParts& p) { MovieSaver(r, p, 2); });
    run.Services().MoviePlayerInstalled = true;
    run.Services().MovieFrames = 24; // two seconds at 12 frames a second
    run.Start();
    run.RunFor(12000);
    EXPECT_EQ(run.shown.size(), 2u); // each picture once, then movies only
    std::string movies;
    for (const std::string& line : run.Services().Log)
        if (line.rfind("movie ", 0) == 0 && line.find(".swf") != std::string::npos)
            movies += line.substr(6, 3) + " ";
    EXPECT_EQ(movies.substr(0, 16), "one two one two ");
    EXPECT_FALSE(run.window->PShow().Visible());
}

TEST(Movies, TheInputHookEndsItWithoutThePasswordCheck) {
    TSaverRun run([](TSSFileLocations& r, test::TSaverParts& p) { MovieSaver(r, p, 0); });
    run.Services().MoviePlayerInstalled = true;
    run.Services().Registry["Control Panel\\Desktop\\ScreenSaveUsePassword"] = "1";
    run.Services().PasswordAnswer = false; // would refuse, but is not asked
    run.Start();
    ASSERT_TRUE(run.Services().HookInstalled());
    TEvent e;
    e.Kind = TEvent::KeyDown; // key presses are passed over; releases count
    run.Services().FeedHook(e);
    e.Kind = TEvent::MouseMove; // the pointer where it was
    run.Services().FeedHook(e);
    EXPECT_FALSE(run.window->Closed());
    run.Services().Cursor = {401, 300};
    run.Services().FeedHook(e);
    EXPECT_TRUE(run.window->Closed());
    EXPECT_FALSE(run.Services().HookInstalled());
    const auto& log = run.Services().Log;
    EXPECT_EQ(std::count(log.begin(), log.end(), "verify password"), 0);
}

TEST(Movies, WithoutAHookTheWindowsOwnInputFollowsTheSameRules) {
    TSaverRun run([](TSSFileLocations& r, test::TSaverParts& p) { MovieSaver(r, p, 0); });
    run.Services().MoviePlayerInstalled = true;
    run.Services().InputHookAllowed = false;
    run.Start();
    run.Input(100, TEvent::KeyDown);
    run.RunFor(300);
    EXPECT_FALSE(run.window->Closed());
    run.Input(400, TEvent::KeyUp);
    run.RunFor(300);
    EXPECT_TRUE(run.window->Closed());
}

#ifdef TEVRIN_HAVE_LCMS2
// A classic builder stored a wide-gamut photo with its profile: the saver
// shows it in sRGB's colours, its bytes as they were.
TEST(Saver, StoredPicturesWithAColourProfileShowInSrgbColours) {
    const TBitmap24 reference = test::Colourful(kW, kH);
    const test::TBytes adobe = test::WithProfile(
        EncodeJpeg(test::InProfile(reference, test::AdobeRgb()), 95), test::AdobeRgb());
    TSaverRun run([&](TSSFileLocations&, test::TSaverParts& p) { p.Pictures = {adobe}; });
    run.Start();
    run.RunFor(1500);
    ASSERT_FALSE(run.shown.empty());
    EXPECT_GE(test::Psnr(run.shown.front(), reference), 34.0);
}
#endif

#ifdef TEVRIN_HAVE_LCMS2
// Packed and shown: photos in Adobe RGB and in Display P3, and one printed
// in CMYK with its press's profile, look as the sRGB photo they were made
// from.
TEST(Saver, PackedPhotosInOtherColourSpacesShowAsTheSrgbPhoto) {
    const TBitmap24 reference = test::Colourful(kW, kH);
    TSaverRun run([](TSSFileLocations&, test::TSaverParts&) {});
    const TBitmap24 p3 = test::InProfile(reference, test::DisplayP3());
    test::WriteBytes(run.dir.File("adobe.jpg"),
                     test::WithProfile(EncodeJpeg(test::InProfile(reference, test::AdobeRgb()), 95),
                                       test::AdobeRgb()));
    test::WriteBytes(
        run.dir.File("p3.png"),
        test::PngWithProfile(
            test::RgbaPng(kW, kH, false,
                          [&](int x, int y) {
                              const std::uint8_t* p = p3.Row(y) + 3 * x;
                              return std::array<std::uint8_t, 4>{p[2], p[1], p[0], 255};
                          }),
            test::DisplayP3()));
    test::WriteBytes(run.dir.File("inks.jpg"),
                     test::WithProfile(test::InkJpeg(kW, kH, test::TInkForm::AdobeCmyk,
                                                     [&](int x, int y) {
                                                         return test::PaleInksFor(reference.Row(y) +
                                                                                  3 * x);
                                                     }),
                                       test::PaleInkProfile()));
    test::WriteBytes(run.dir.File("stub.bin"), test::AsBytes("MZ stub"));
    TPackJob job;
    job.Stub = run.dir.File("stub.bin");
    job.Output = run.saver; // in place of the saver the run was made with
    for (const char* name : {"adobe.jpg", "p3.png", "inks.jpg"})
        job.Pictures.emplace_back(run.dir.File(name));
    job.Record.Ver = "photo";
    job.Record.Interval = 500;
    PackSaver(job);
    run.Start();
    run.RunFor(5000);
    ASSERT_GE(run.shown.size(), 3u);
    // The printed photo is what its press's profile makes of its inks.
    const TBitmap24 printed = test::PrintedOnPaleInks(reference);
    for (std::size_t i = 0; i < 3; ++i) {
        const TBitmap24& meant = i == 2 ? printed : reference;
        EXPECT_GE(test::Psnr(run.shown[i], meant), 34.0) << i;
        EXPECT_NEAR(test::MeanSaturation(run.shown[i]) / test::MeanSaturation(meant), 1.0, 0.03)
            << i;
    }
    EXPECT_GE(test::Psnr(printed, reference), 30.0); // and that is near the sRGB photo
}
#endif

TEST(Saver, CameraPicturesShowWholeAndUpright) {
    // A landscape larger than the screen, and a portrait its camera stored
    // on its side (turned back by a clockwise quarter: Exif orientation 6).
    TSaverRun run([](TSSFileLocations& r, test::TSaverParts& p) {
        r.FitMode = TFitMode::fmShrink;
        p.Pictures = {
            EncodeJpeg(test::Quarters(640, 400), 95),
            WithExifOrientation(EncodeJpeg(TurnUpright(test::Quarters(300, 400), 8), 95), 6)};
    });
    run.Start();
    run.RunFor(4000);
    ASSERT_GE(run.shown.size(), 2u);
    struct TSpot {
        int x, y;
        test::TBgr colour;
    };
    // 160 x 100 at y 10, then 90 x 120 at x 35.
    const std::vector<TSpot> landscape = {{40, 35, test::kRed},  {120, 35, test::kGreen},
                                          {40, 85, test::kBlue}, {120, 85, test::kWhite},
                                          {80, 5, test::kBlack}, {80, 114, test::kBlack}};
    const std::vector<TSpot> portrait = {{57, 30, test::kRed},   {102, 30, test::kGreen},
                                         {57, 90, test::kBlue},  {102, 90, test::kWhite},
                                         {20, 60, test::kBlack}, {140, 60, test::kBlack}};
    for (const auto& [frame, spots] : {std::pair{0, landscape}, {1, portrait}})
        for (const TSpot& spot : spots)
            EXPECT_TRUE(
                test::Near(test::PixelAt(run.shown[frame], spot.x, spot.y), spot.colour, 40))
                << "picture " << frame << " at " << spot.x << "," << spot.y;
}

// The most bitmap memory a saver run at 1920 x 1080 holds at once while it
// shows one picture.
std::size_t PeakOfRun(test::TBytes picture) {
    TSaverRun run(
        [&](TSSFileLocations& r, test::TSaverParts& p) {
            r.FitMode = TFitMode::fmShrink;
            r.Interval = 0;
            p.Pictures = {std::move(picture)};
        },
        false, 1920, 1080);
    run.platform.HashFrames = false;
    TBitmap24::ResetPeak();
    const std::size_t before = TBitmap24::LiveBytes();
    run.Start();
    run.RunFor(1500);
    EXPECT_EQ(run.shown.size(), 1u);
    return TBitmap24::PeakBytes() - before;
}

TEST(Saver, ACameraPictureCostsOneScaledDecodeBeyondTheScreenBitmaps) {
    const std::size_t screen_only = PeakOfRun(EncodeJpeg(TBitmap24(8, 8), 90));
    const std::size_t camera = PeakOfRun(EncodeJpeg(TBitmap24(6000, 4000), 90));
    // Shown at 1620 x 1080, the picture is decoded at 3/8: 2250 x 1500.
    const std::size_t scaled_decode = static_cast<std::size_t>(TBitmap24::StrideFor(2250)) * 1500;
    EXPECT_LE(camera, screen_only + scaled_decode + 2 * TBitmap24::kSlack)
        << "screen bitmaps " << screen_only / 1e6 << " MB, with the camera picture " << camera / 1e6
        << " MB";
    // A full-size decode alone would take 72 MB.
    EXPECT_LT(camera, screen_only + 20'000'000u);
}

// Two monitors side by side: the primary one, and a smaller one to its
// left, at negative desktop coordinates as Windows places it.
constexpr TRect kSecond{-100, 20, 0, 100};
std::vector<TMonitor> TwoMonitors() {
    return {{{0, 0, kW, kH}, 96, true}, {kSecond, 144, false}};
}

TBitmap24 ExpectedAt(const TSaverRun& run, int picture, const TRect& monitor) {
    const auto& jpeg = run.parts.Pictures[picture];
    return ComposeCentered(DecodeJpeg(jpeg.data(), jpeg.size()), monitor.Width(), monitor.Height());
}

TEST(Monitors, EveryMonitorIsCoveredAndThePrimaryModeLeavesTheOthersBlack) {
    TSaverRun run(
        [](TSSFileLocations&, test::TSaverParts& p) {
            p.Sounds = {{"a.wav", test::AsBytes("A")}};
        },
        TwoMonitors(), true);
    run.Services().DefaultSoundLength = 60000; // longer than the run
    run.Start();
    ASSERT_EQ(run.window->OtherViews().size(), 1u);
    const TScreenView& other = *run.window->OtherViews()[0];
    EXPECT_EQ(run.window->BoundsRect(), (TRect{0, 0, kW, kH}));
    EXPECT_EQ(other.BoundsRect(), kSecond);
    EXPECT_TRUE(other.Visible());
    EXPECT_TRUE(other.Topmost());
    run.RunFor(5000);
    ASSERT_GE(run.shown.size(), 2u);
    EXPECT_TRUE(Same(run.shown[1], run.Expected(1)));
    int other_frames = 0;
    for (const auto& frame : run.platform.Frames) {
        if (frame.Window != other.Window()) continue;
        ++other_frames;
        EXPECT_TRUE(Same(frame.Image, TBitmap24(kSecond.Width(), kSecond.Height()))) << "not black";
    }
    EXPECT_GE(other_frames, 1);
    // The music plays once, not once per monitor.
    const auto& log = run.Services().Log;
    EXPECT_EQ(std::count(log.begin(), log.end(), "open a.wav"), 1);
}

TEST(Monitors, MirrorShowsTheSamePictureAndStyleEverywhereAndEachItsOwn) {
    for (TMonitorMode mode : {TMonitorMode::mmMirror, TMonitorMode::mmEach}) {
        TSaverRun run([&](TSSFileLocations& r, test::TSaverParts&) { r.MonitorMode = mode; },
                      TwoMonitors(), true);
        run.Start();
        TPicShow& other = run.window->OtherViews()[0]->PShow();
        std::vector<TBitmap24> other_shown;
        std::vector<int> other_styles;
        other.OnComplete = [&](TCustomPicShow& s) {
            other_shown.push_back(s.Screen());
            other_styles.push_back(s.Style);
        };
        run.RunFor(8000);
        ASSERT_GE(run.shown.size(), 4u);
        ASSERT_EQ(other_shown.size(), run.shown.size());
        const int offset = mode == TMonitorMode::mmEach ? 1 : 0;
        for (std::size_t i = 0; i < run.shown.size(); ++i) {
            EXPECT_TRUE(Same(run.shown[i], run.Expected(static_cast<int>(i % 3)))) << i;
            EXPECT_TRUE(
                Same(other_shown[i], ExpectedAt(run, static_cast<int>((i + offset) % 3), kSecond)))
                << "mode " << static_cast<int>(mode) << " step " << i;
            EXPECT_EQ(other_styles[i], run.styles[i]);
        }
        // One clock drives both: each frame of the primary monitor has its
        // twin on the other at the same moment.
        std::vector<std::uint32_t> ticks[2];
        for (const auto& frame : run.platform.Frames)
            ticks[frame.Window == run.window->Window() ? 0 : 1].push_back(frame.Tick);
        std::erase(ticks[1], 0u); // the first paint of the black window
        std::vector<std::uint32_t> common;
        std::set_intersection(ticks[0].begin(), ticks[0].end(), ticks[1].begin(), ticks[1].end(),
                              std::back_inserter(common));
        EXPECT_GE(common.size(), ticks[1].size() * 9 / 10);
    }
}

TEST(Monitors, PicturesMoveOnEveryMonitorFromWhereTheTransitionLeftThem) {
    for (TMonitorMode mode : {TMonitorMode::mmMirror, TMonitorMode::mmEach}) {
        TSaverRun run(
            [&](TSSFileLocations& r, test::TSaverParts& p) {
                r.MonitorMode = mode;
                r.Motion = TMotion::moPanZoom;
                r.FitMode = TFitMode::fmFill;
                r.Interval = 2000;
                p.Pictures = {test::TestJpeg(480, 360), test::TestJpeg(600, 300),
                              test::TestJpeg(300, 420)};
            },
            TwoMonitors(), true);
        run.Start();
        // At each transition's first frame: that frame, and the last frame
        // shown before it.
        std::vector<TBitmap24> firsts, before;
        bool in_transition = false;
        auto last_shown = [&](TWindowId window) -> const TBitmap24* {
            for (auto f = run.platform.Frames.rbegin(); f != run.platform.Frames.rend(); ++f)
                if (f->Window == window) return &f->Image;
            return nullptr;
        };
        run.window->PShow().OnProgress = [&](TCustomPicShow& s) {
            if (in_transition) return;
            in_transition = true;
            firsts.push_back(s.Screen());
            const TBitmap24* shown = last_shown(run.window->Window());
            before.push_back(shown ? *shown : TBitmap24());
        };
        auto completed = run.window->PShow().OnComplete;
        run.window->PShow().OnComplete = [&](TCustomPicShow& s) {
            in_transition = false;
            completed(s);
        };
        run.RunFor(9000);
        ASSERT_GE(run.shown.size(), 3u);
        // Between the first two changes both monitors draw a frame every
        // 40 ms, each a small step from the one before.
        for (TWindowId window : {run.window->Window(), run.window->OtherViews()[0]->Window()}) {
            std::vector<const TBitmap24*> moving;
            for (const auto& frame : run.platform.Frames)
                if (frame.Window == window && frame.Tick > run.ended_at[0] &&
                    frame.Tick < run.ended_at[0] + 2000)
                    moving.push_back(&frame.Image);
            EXPECT_GE(moving.size(), 45u) << "mode " << static_cast<int>(mode);
            for (std::size_t i = 1; i < moving.size(); ++i)
                EXPECT_FALSE(Same(*moving[i - 1], *moving[i])) << "frame " << i;
            // The motion starts where the transition ended, with a step like
            // the others.
            if (window == run.window->Window() && moving.size() > 2) {
                std::vector<double> steps;
                for (std::size_t i = 1; i < moving.size(); ++i)
                    steps.push_back(MeanDifference(*moving[i - 1], *moving[i]));
                std::nth_element(steps.begin(), steps.begin() + steps.size() / 2, steps.end());
                EXPECT_LT(MeanDifference(run.shown[0], *moving[0]), 2 * steps[steps.size() / 2]);
            }
        }
        // Each transition starts from the last moving frame: every pixel of
        // its first frame is that frame's or the incoming picture's, and
        // the motion then starts from the transition's last frame.
        ASSERT_GE(firsts.size(), 3u);
        for (std::size_t k = 1; k < 3; ++k) {
            const TBitmap24 &first = firsts[k], &old = before[k], &incoming = run.shown[k];
            ASSERT_EQ(old.Width(), first.Width());
            int from_old = 0, neither = 0;
            for (int y = 0; y < kH; ++y)
                for (int x = 0; x < kW; ++x) {
                    const std::uint8_t *p = first.Row(y) + x * 3, *o = old.Row(y) + x * 3,
                                       *n = incoming.Row(y) + x * 3;
                    const bool is_old = std::equal(p, p + 3, o), is_new = std::equal(p, p + 3, n);
                    from_old += is_old && !is_new;
                    neither += !is_old && !is_new;
                }
            EXPECT_EQ(neither, 0) << "transition " << k;
            EXPECT_GT(from_old, kW * kH / 2) << "transition " << k;
            EXPECT_FALSE(Same(old, run.shown[k - 1])) << "no motion before transition " << k;
        }
    }
}

TEST(Monitors, MovingPicturesComeInTheOrderStillOnesWould) {
    // The next change is drawn while the pictures move, after the
    // transition's own random numbers: pictures and styles at random come
    // as they would without motion.
    std::vector<int> styles[2];
    for (int moving = 0; moving < 2; ++moving) {
        TSaverRun run([&](TSSFileLocations& r, test::TSaverParts&) {
            r.lRandomPic = r.lRandomStyle = true;
            r.Styles = {65, 66, 67, 68, 76, 77, 78, 79}; // each draws at random
            r.Interval = 300;
            r.Motion = moving ? TMotion::moPanZoom : TMotion::moNone;
        });
        SetRandSeed(5);
        run.Start();
        run.RunFor(8000);
        styles[moving] = run.styles;
    }
    ASSERT_GE(styles[0].size(), 5u);
    EXPECT_EQ(styles[1], styles[0]);
}

TEST(Monitors, FramesComposedInTheDisplaysFormatHaveTheSameColours) {
    // Forms compose in a window's 4-byte surface where the platform has one,
    // and pictures show and move in its pixels: every frame on both
    // monitors, still or moving, has the colours it has in 3-byte bitmaps.
    for (TMotion motion : {TMotion::moNone, TMotion::moPanZoom}) {
        std::vector<THeadlessPlatform::TFrame> frames[2];
        for (int format = 0; format < 2; ++format) {
            TSaverRun run(
                [&](TSSFileLocations& r, test::TSaverParts& p) {
                    r.MonitorMode = TMonitorMode::mmEach;
                    r.Motion = motion;
                    r.FitMode = TFitMode::fmFill;
                    r.Interval = 700;
                    p.Pictures = {test::TestJpeg(480, 360), test::TestJpeg(600, 300)};
                },
                TwoMonitors(), true);
            run.platform.PixelBytes = format == 0 ? 3 : 4;
            run.Start();
            run.RunFor(5000);
            EXPECT_EQ(run.window->BackBuffer().PixelBytes(), format == 0 ? 3 : 4);
            // The transitions were drawn in the back buffer's pixels.
            EXPECT_EQ(run.window->PShow().Screen().PixelBytes(), format == 0 ? 3 : 4);
            frames[format] = std::move(run.platform.Frames);
        }
        ASSERT_GT(frames[0].size(), 100u);
        ASSERT_EQ(frames[1].size(), frames[0].size());
        for (std::size_t i = 0; i < frames[0].size(); ++i) {
            ASSERT_EQ(frames[1][i].Hash, frames[0][i].Hash) << "frame " << i;
            ASSERT_TRUE(Same(frames[1][i].Image, frames[0][i].Image)) << "frame " << i;
        }
    }
}

// A folder saver's pictures, told apart by their sizes.
struct TFolderSaver {
    explicit TFolderSaver(bool recursive = false)
        : run(
              [&](TSSFileLocations& r, test::TSaverParts& p) {
                  p.Pictures.clear();
                  r.PictureFolders = {folder.Path()};
                  r.lRecursive = recursive;
                  r.Interval = 500;
              },
              true) {}
    void Write(const std::string& name, const test::TBytes& bytes) {
        test::WriteBytes(folder.File(name), bytes);
    }
    // The pictures whose transitions ended, by width.
    std::vector<int> ShownWidths() const {
        std::vector<int> widths;
        for (const TBitmap24& screen : run.shown) {
            // Natural size, centred on black: the picture's width is where
            // the middle row stops being black.
            int left = 0, right = screen.Width();
            const int y = screen.Height() / 2;
            while (left < right && test::PixelAt(screen, left, y) == test::kBlack)
                ++left;
            while (right > left && test::PixelAt(screen, right - 1, y) == test::kBlack)
                --right;
            widths.push_back(right - left);
        }
        return widths;
    }

    test::TScratchDir folder;
    TSaverRun run;
};

TEST(FolderSaver, ShowsTheFolderAsEachRoundBeginsAndPassesOverWhatItCannotRead) {
    TFolderSaver saver;
    saver.Write("a.jpg", test::TestJpeg(100, 80));
    saver.Write("b.png", test::RgbaPng(60, 40, false, [](int x, int y) {
                    return std::array<std::uint8_t, 4>{
                        200, static_cast<std::uint8_t>(x), 90,
                        static_cast<std::uint8_t>(y < 20 ? 255 : 128)};
                }));
    saver.Write("c broken.jpg", test::AsBytes("not a picture at all"));
    saver.Write("notes.txt", test::AsBytes("not even named as one"));
    std::filesystem::create_directories(saver.folder.File("deeper"));
    saver.Write("deeper/d.jpg", test::TestJpeg(30, 30));
    saver.run.Start();
    saver.run.RunFor(6200); // four turns of 1.5 s
    EXPECT_EQ(saver.ShownWidths(), (std::vector<int>{100, 60, 100, 60}));
    // One line for each time the broken picture was passed over, naming it,
    // and the saver went on without an error.
    ASSERT_EQ(saver.run.app.Notes().size(), 2u);
    EXPECT_NE(saver.run.app.Notes()[0].find("c broken.jpg"), std::string::npos);
    EXPECT_TRUE(saver.run.app.Failures().empty());

    // A picture added joins when the next round begins; a deleted one is
    // passed over.
    saver.Write("b2.jpg", test::TestJpeg(44, 50));
    std::filesystem::remove(saver.folder.File("b.png"));
    saver.run.shown.clear();
    saver.run.RunFor(6000);
    EXPECT_EQ(saver.ShownWidths(), (std::vector<int>{100, 44, 100, 44}));
    EXPECT_TRUE(saver.run.app.Failures().empty());
    // The folder was only read.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(saver.folder.Path()),
                            std::filesystem::directory_iterator()),
              5);
}

TEST(FolderSaver, TheNextPictureIsMadeAheadWhileThisOneShows) {
    TFolderSaver saver;
    saver.Write("a.jpg", test::TestJpeg(100, 80));
    saver.Write("b.jpg", test::TestJpeg(60, 40));
    saver.run.Start();
    saver.run.RunFor(1200); // a has come in; b was read and decoded then
    saver.Write("b.jpg", test::TestJpeg(30, 30));
    saver.run.RunFor(1500);
    EXPECT_EQ(saver.ShownWidths(), (std::vector<int>{100, 60}));
}

TEST(FolderSaver, TheFolderThisUserChoseStandsInForThePackedOnes) {
    TFolderSaver saver;
    saver.Write("a.jpg", test::TestJpeg(100, 80));
    test::TScratchDir chosen;
    test::WriteBytes(chosen.File("mine.jpg"), test::TestJpeg(30, 30));
    TStoredSettings(saver.run.saver, saver.run.user.Path()).WriteFolder(chosen.Path());
    saver.run.Start();
    saver.run.RunFor(3200);
    EXPECT_EQ(saver.ShownWidths(), (std::vector<int>{30, 30}));
}

TEST(FolderSaver, SubfoldersCountWithRecursive) {
    TFolderSaver saver(true);
    saver.Write("a.jpg", test::TestJpeg(100, 80));
    std::filesystem::create_directories(saver.folder.File("deeper"));
    saver.Write("deeper/d.jpg", test::TestJpeg(30, 30));
    saver.run.Start();
    saver.run.RunFor(3200);
    EXPECT_EQ(saver.ShownWidths(), (std::vector<int>{100, 30}));
}

TEST(FolderSaver, AnEmptyOrMissingFolderSaysSoOnTheScreenUntilPicturesCome) {
    for (bool missing : {false, true}) {
        TFolderSaver saver;
        if (missing) std::filesystem::remove_all(saver.folder.Path());
        saver.run.Start();
        saver.run.RunFor(3000);
        // The sentence, not a black screen.
        ASSERT_FALSE(saver.run.shown.empty());
        const TBitmap24& screen = saver.run.shown.back();
        int lit = 0;
        for (int y = 0; y < screen.Height(); ++y)
            for (int x = 0; x < screen.Width(); ++x)
                lit += test::PixelAt(screen, x, y) != test::kBlack;
        EXPECT_GT(lit, 100) << "missing " << missing;
        EXPECT_TRUE(saver.run.app.Failures().empty());
        // A picture that comes is shown at the next turn.
        std::filesystem::create_directories(saver.folder.Path());
        saver.Write("a.jpg", test::TestJpeg(100, 80));
        saver.run.shown.clear();
        saver.run.RunFor(3000);
        EXPECT_EQ(saver.ShownWidths().back(), 100) << "missing " << missing;
    }
}

// The player on a 320x240 screen, its window the size the tests compose
// pictures for, placed in the middle.
struct TPlayerRun {
    explicit TPlayerRun(int interval)
        : run([interval](TSSFileLocations& r, test::TSaverParts&) { r.Interval = interval; },
              {{{0, 0, 2 * kW, 2 * kH}}}, true) {
        run.window->Play({false, kW, kH});
    }
    void Key(std::uint32_t at, int key) {
        TEvent e;
        e.Kind = TEvent::KeyDown;
        e.Window = run.window->Window();
        e.Key = key;
        run.platform.Script(at, e);
    }
    // The frame presented last before `tick`.
    const TBitmap24& FrameBefore(std::uint32_t tick) const {
        const THeadlessPlatform::TFrame* last = &run.platform.Frames.front();
        for (const auto& frame : run.platform.Frames)
            if (frame.Tick < tick) last = &frame;
        return last->Image;
    }
    TSaverRun run;
};

TEST(Player, KeysStepForwardAndBackPauseTheTimerAndEndIt) {
    TPlayerRun player(2000);
    TSaverRun& run = player.run;
    run.Start();
    // A framed window of its own: no saver, no hidden pointer.
    EXPECT_EQ(run.window->BoundsRect(), (TRect{kW / 2, kH / 2, kW * 3 / 2, kH * 3 / 2}));
    EXPECT_TRUE(run.platform.Windows[run.window->Window()].Params.Border);
    EXPECT_FALSE(run.window->Topmost());
    EXPECT_TRUE(run.platform.CursorVisible);
    EXPECT_FALSE(run.Services().SaverRunning);
    // Pointer moves and clicks do not end it.
    run.Input(300, TEvent::MouseMove, 10, 10);
    run.Input(350, TEvent::MouseMove, 90, 70);
    run.Input(400, TEvent::MouseDown, 90, 70);
    // 0 comes in by 1 s; the right key brings 1 before its time; the left
    // key runs the transition that brought it backwards, from what was on
    // screen, to 0; the right key brings 1 again rather than a new one.
    player.Key(1500, kVkRight);
    player.Key(3000, kVkLeft);
    player.Key(4500, kVkRight);
    run.RunFor(5900);
    EXPECT_FALSE(run.window->Closed());
    ASSERT_EQ(run.shown.size(), 4u);
    EXPECT_TRUE(Same(run.shown[0], run.Expected(0)));
    EXPECT_GE(run.ended_at[1], 1500u);
    EXPECT_LT(run.ended_at[1], 3000u);
    EXPECT_TRUE(Same(run.shown[1], run.Expected(1)));
    EXPECT_TRUE(Same(run.shown[2], run.Expected(0)));
    EXPECT_EQ(run.styles[2], run.styles[1]);
    EXPECT_TRUE(Same(run.shown[3], run.Expected(1)));
    // The backward transition starts where the screen was: no jump.
    EXPECT_TRUE(Same(player.FrameBefore(3000), run.Expected(1)));
    const auto first_back = std::find_if(run.platform.Frames.begin(), run.platform.Frames.end(),
                                         [](const auto& f) { return f.Tick >= 3000; });
    ASSERT_NE(first_back, run.platform.Frames.end());
    EXPECT_LT(MeanDifference(first_back->Image, run.Expected(1)), 30.0);

    // Space holds the picture well past its time; again, it keeps the time
    // it had left (1.5 s of 2), and the order goes on with picture 2.
    player.Key(6000, kVkSpace);
    run.RunFor(6000);
    EXPECT_TRUE(run.window->Paused());
    EXPECT_EQ(run.shown.size(), 4u);
    player.Key(12000, kVkSpace);
    run.RunFor(1400);
    EXPECT_EQ(run.shown.size(), 4u);
    run.RunFor(1600);
    ASSERT_EQ(run.shown.size(), 5u);
    EXPECT_TRUE(Same(run.shown[4], run.Expected(2)));

    player.Key(15000, 'Q');
    run.RunFor(1000);
    EXPECT_TRUE(run.window->Closed());
    EXPECT_TRUE(run.app.Failures().empty());
}

TEST(Player, FullScreenAndBackMakesThePictureAgainForEachSize) {
    TPlayerRun player(0);
    TSaverRun& run = player.run;
    run.Start();
    player.Key(1500, 'F');
    run.RunFor(2500);
    EXPECT_TRUE(run.window->FullScreen());
    EXPECT_EQ(run.window->BoundsRect(), (TRect{0, 0, 2 * kW, 2 * kH}));
    EXPECT_FALSE(run.platform.Windows[run.window->Window()].Params.Border);
    EXPECT_FALSE(run.platform.CursorVisible);
    const auto& jpeg = run.parts.Pictures[0];
    const TBitmap24 whole = ComposeCentered(DecodeJpeg(jpeg.data(), jpeg.size()), 2 * kW, 2 * kH);
    EXPECT_TRUE(Same(run.platform.Frames.back().Image, whole));
    player.Key(3000, 'F');
    player.Key(4000, kVkEscape);
    run.RunFor(2000);
    EXPECT_TRUE(run.platform.Windows[run.window->Window()].Params.Border);
    EXPECT_TRUE(Same(player.FrameBefore(4000), run.Expected(0)));
    EXPECT_TRUE(run.window->Closed());
}

TEST(Monitors, StillPicturesDrawNothingBetweenTransitions) {
    TSaverRun run([](TSSFileLocations& r, test::TSaverParts&) { r.Interval = 2000; }, TwoMonitors(),
                  true);
    run.Start();
    run.RunFor(6000);
    ASSERT_GE(run.ended_at.size(), 2u);
    for (const auto& frame : run.platform.Frames)
        EXPECT_FALSE(frame.Tick > run.ended_at[0] + 40 && frame.Tick < run.ended_at[0] + 1960)
            << frame.Tick;
}

TEST(Monitors, RandomPicturesDifferBetweenMonitorsInEachMode) {
    SetRandSeed(5);
    TSaverRun run(
        [](TSSFileLocations& r, test::TSaverParts& p) {
            r.MonitorMode = TMonitorMode::mmEach;
            r.lRandomPic = true;
            r.lRandomStyle = true;
            r.Interval = 50;
            p.Pictures = {test::TestJpeg(100, 80), test::TestJpeg(200, 60), test::TestJpeg(40, 140),
                          test::TestJpeg(60, 60)};
        },
        TwoMonitors());
    run.Start();
    std::vector<int> other_styles;
    run.window->OtherViews()[0]->PShow().OnComplete = [&](TCustomPicShow& s) {
        other_styles.push_back(s.Style);
    };
    run.RunFor(20000);
    ASSERT_GE(other_styles.size(), 10u);
    ASSERT_GE(run.styles.size(), other_styles.size());
    int differing = 0;
    for (std::size_t i = 0; i < other_styles.size(); ++i)
        differing += other_styles[i] != run.styles[i];
    EXPECT_GT(differing, 5); // drawn independently
}

TEST(Monitors, PointerMovesCountOnTheDesktopAndAnyWindowsKeyEndsItWithOnePasswordCheck) {
    // The pointer crosses from the primary monitor's left edge onto the
    // other monitor: 3 pixels across but 1 down on the desktop, which is
    // no leap, however far apart the two windows' own coordinates are.
    {
        TSaverRun run([](TSSFileLocations&, test::TSaverParts&) {}, TwoMonitors());
        run.Start();
        TEvent e;
        e.Kind = TEvent::MouseMove;
        e.Window = run.window->Window();
        e.X = 1, e.Y = 50;
        run.platform.Script(100, e);
        e.Window = run.window->OtherViews()[0]->Window();
        e.X = 98, e.Y = 31; // desktop (-2, 51)
        run.platform.Script(110, e);
        run.RunFor(400);
        EXPECT_FALSE(run.window->Closed());
        e.X = 90, e.Y = 20; // desktop (-10, 40): away both ways
        run.platform.Script(500, e);
        run.RunFor(400);
        EXPECT_TRUE(run.window->Closed());
    }
    {
        TSaverRun run([](TSSFileLocations&, test::TSaverParts&) {}, TwoMonitors());
        run.Services().Registry["Control Panel\\Desktop\\ScreenSaveUsePassword"] = "1";
        run.Services().PasswordAnswer = true;
        run.Start();
        TEvent key;
        key.Kind = TEvent::KeyDown;
        key.Window = run.window->OtherViews()[0]->Window();
        run.platform.Script(1500, key);
        run.RunFor(3000);
        EXPECT_TRUE(run.window->Closed());
        EXPECT_FALSE(run.window->OtherViews()[0]->Visible());
        const auto& log = run.Services().Log;
        EXPECT_EQ(std::count(log.begin(), log.end(), "verify password"), 1);
        EXPECT_FALSE(run.Services().SaverRunning);
    }
}

TEST(Monitors, TheCaptionKeepsItsPhysicalSizeOnEachMonitor) {
    TSaverRun run(
        [](TSSFileLocations& r, test::TSaverParts& p) {
            r.MonitorMode = TMonitorMode::mmMirror;
            r.Text = "Hi";
            r.TextFont.Color = 0x0000FF;
            r.TextFont.SetSize(10);
            p.Pictures = {test::TestJpeg(8, 8)};
        },
        TwoMonitors());
    run.Start();
    TBitmap24 other_first;
    run.window->OtherViews()[0]->PShow().OnComplete = [&](TCustomPicShow& s) {
        if (other_first.Empty()) other_first = s.Screen();
    };
    run.RunFor(2500);
    ASSERT_FALSE(run.shown.empty());
    ASSERT_FALSE(other_first.Empty());
    // The height of the red rows: at 144 pixels per inch the text is half
    // as tall again as at 96.
    auto red_rows = [](const TBitmap24& b) {
        int rows = 0;
        for (int y = 0; y < b.Height(); ++y) {
            bool red = false;
            for (int x = 0; x < b.Width() && !red; ++x)
                red = b.Row(y)[x * 3 + 2] > 128 && b.Row(y)[x * 3] < 100;
            rows += red;
        }
        return rows;
    };
    const int primary = red_rows(run.shown[0]), other = red_rows(other_first);
    EXPECT_GT(primary, 4);
    EXPECT_NEAR(other, primary * 3 / 2, 3);
}

TEST(Monitors, AMovieSaverPlaysOnThePrimaryMonitorAndBlacksTheRest) {
    TSaverRun run(
        [](TSSFileLocations& r, test::TSaverParts& p) {
            r.Ver = "flash";
            r.MonitorMode = TMonitorMode::mmEach;
            p.Pictures = {};
            p.Movies = {{"m.swf", test::AsBytes("FWS")}};
        },
        TwoMonitors(), true);
    run.Services().MoviePlayerInstalled = true;
    run.Start();
    run.RunFor(2000);
    ASSERT_EQ(run.window->OtherViews().size(), 1u);
    EXPECT_FALSE(run.window->OtherViews()[0]->PShow().Visible());
    const auto& log = run.Services().Log;
    EXPECT_EQ(std::count(log.begin(), log.end(), "movie play"), 1);
}

} // namespace
} // namespace tevrin
