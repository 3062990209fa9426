// SPDX-License-Identifier: MIT
#include "base/Errors.h"
#include "gfx/Text.h"
#include "platform/SystemText.h"
#include "platform/headless/HeadlessPlatform.h"
#include "tests/TestSupport.h"
#include "ui/Forms.h"
#include "ui/MediaPlayer.h"
#include "ui/Thread.h"

#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <thread>

namespace tevrin {
namespace {

struct TUi {
    THeadlessPlatform platform{200, 100};
    TApplication app{platform};
    TForm form{app};
    std::string log;
    TUi() {
        form.SetBounds(0, 0, 200, 100);
        form.Color = 0x000000;
    }
    void RunFor(std::uint32_t ms) {
        platform.StopAt(platform.TickCount() + ms);
        app.Run();
    }
};

TEvent Input(TEvent::TKind kind, TWindowId window, int x = 0, int y = 0) {
    TEvent e;
    e.Kind = kind;
    e.Window = window;
    e.X = x;
    e.Y = y;
    return e;
}

TEST(Ui, TimersFireInOrderAtTheirVirtualTimes) {
    TUi ui;
    TTimer fast(ui.app), slow(ui.app);
    fast.SetInterval(30);
    slow.SetInterval(100);
    fast.OnTimer = [&] { ui.log += "f" + std::to_string(ui.platform.TickCount()) + " "; };
    slow.OnTimer = [&] {
        ui.log += "s" + std::to_string(ui.platform.TickCount()) + " ";
        fast.SetEnabled(false);
    };
    fast.SetEnabled(true);
    slow.SetEnabled(true);
    ui.form.Show();
    ui.RunFor(250);
    EXPECT_EQ(ui.log, "f30 f60 f90 s100 s200 ");
    // The loop waited for each timer instead of polling.
    EXPECT_LT(ui.platform.EmptyPolls, 40);
}

struct TRecordingForm : TForm {
    using TForm::TForm;
    std::string seen;
    void HandleMessage(int message, std::intptr_t wparam, std::intptr_t) override {
        seen += std::to_string(message) + ":" + std::to_string(wparam) + " ";
    }
};

class TWorker final : public TThread {
public:
    TWorker(TApplication& app, TRecordingForm& form, std::string& log)
        : TThread(app), form_(form), log_(log) {}

protected:
    void Execute() override {
        Application().PostMessage(&form_, 1025, 8);
        Synchronize([&] { log_ += Application().IsMainThread() ? "on-ui " : "elsewhere "; });
        try {
            Synchronize([] { throw EError("inside"); });
        } catch (const EError& e) {
            log_ += std::string("caught-") + e.what() + " ";
        }
        Sleep(500);
        Synchronize([&] { log_ += "woke-at-" + std::to_string(Application().TickCount()) + " "; });
    }

private:
    TRecordingForm& form_;
    std::string& log_;
};

TEST(Ui, PostedMessagesAndSynchronisedCallsFromAThread) {
    THeadlessPlatform platform;
    TApplication app(platform);
    TRecordingForm form(app);
    form.Show();
    std::string log;
    app.PostMessage(&form, 1024, 7);
    auto* worker = new TWorker(app, form, log); // releases itself
    worker->OnTerminate = [&] {
        log += "ended ";
        app.Terminate();
    };
    worker->Start();
    platform.StopAt(10000);
    app.Run();
    EXPECT_EQ(form.seen, "1024:7 1025:8 ");
    EXPECT_EQ(log, "on-ui caught-inside woke-at-500 ended ");
}

TEST(Ui, HandlerErrorsAreReportedAndTheLoopGoesOn) {
    TUi ui;
    ui.app.Title = "Tevrin";
    ui.form.OnKeyDown = [&](int& key, std::uint8_t) {
        ui.log += "key" + std::to_string(key) + " ";
        throw EError("Stream read error");
    };
    ui.form.Show();
    TEvent key = Input(TEvent::KeyDown, ui.form.Window());
    key.Key = 65;
    ui.platform.Script(10, key);
    ui.platform.Script(20, key);
    ui.RunFor(50);
    EXPECT_EQ(ui.log, "key65 key65 ");
    ASSERT_EQ(ui.platform.MessageBoxes.size(), 2u);
    EXPECT_EQ(ui.platform.MessageBoxes[0].Text, "Stream read error");
    EXPECT_EQ(ui.platform.MessageBoxes[0].Caption, "Tevrin");
}

TEST(Ui, ALostDisplayEndsTheRunInsteadOfShowingABox) {
    // A box on a display that cannot draw would wait for ever, unseen.
    TUi ui;
    ui.form.OnKeyDown = [&](int&, std::uint8_t) {
        throw EDisplayLost(msg::kNoWindowSurface, {"gone"});
    };
    ui.form.Show();
    ui.platform.Script(10, Input(TEvent::KeyDown, ui.form.Window()));
    EXPECT_THROW(ui.RunFor(50), EDisplayLost);
    EXPECT_TRUE(ui.platform.MessageBoxes.empty());
}

TEST(Ui, IdleHandlerAndClosingTheMainForm) {
    TUi ui;
    int idles = 0;
    ui.app.OnIdle = [&](bool& done) {
        ++idles;
        done = true;
    };
    ui.form.OnClose = [&] { ui.log += "closed "; };
    ui.form.Show();
    ui.platform.ScriptCall(300, [&] { ui.form.Close(); });
    ui.platform.StopAt(100000);
    ui.app.Run();
    EXPECT_EQ(ui.log, "closed ");
    EXPECT_EQ(ui.platform.TickCount(), 300u); // ended by the close, not the limit
    EXPECT_LT(idles, 10);                     // idle, then waiting: no busy loop
}

class TSquare final : public TGraphicControl {
public:
    using TGraphicControl::TGraphicControl;
    std::string log;

protected:
    void Paint(TCanvas& canvas) override { canvas.FillRect({0, 0, Width(), Height()}, 0x0000FF); }
    void MouseEnter() override { log += "enter "; }
    void MouseLeave() override { log += "leave "; }
};

TEST(Ui, GraphicControlsPaintOnTheirFormAndSeeTheMouse) {
    TUi ui;
    TSquare square(ui.form);
    square.SetBounds(50, 20, 30, 30);
    square.OnMouseDown = [&](int, std::uint8_t, int x, int y) {
        square.log += "down" + std::to_string(x) + "," + std::to_string(y) + " ";
    };
    ui.form.OnMouseDown = [&](int, std::uint8_t, int x, int y) {
        ui.log += "form" + std::to_string(x) + "," + std::to_string(y) + " ";
    };
    ui.form.Show();
    const TWindowId w = ui.form.Window();
    ui.platform.Script(5, Input(TEvent::MouseMove, w, 10, 10));
    ui.platform.Script(6, Input(TEvent::MouseMove, w, 60, 30));
    ui.platform.Script(7, Input(TEvent::MouseDown, w, 60, 30));
    ui.platform.Script(8, Input(TEvent::MouseMove, w, 150, 90));
    ui.platform.Script(9, Input(TEvent::MouseDown, w, 150, 90));
    ui.RunFor(20);
    EXPECT_EQ(square.log, "enter down10,10 leave ");
    EXPECT_EQ(ui.log, "form150,90 ");
    ASSERT_FALSE(ui.platform.Frames.empty());
    const TBitmap24& shown = ui.form.BackBuffer();
    EXPECT_EQ(shown.Row(30)[60 * 3 + 2], 255); // the square, red
    EXPECT_EQ(shown.Row(30)[10 * 3 + 2], 0);   // the form's black
}

// A repaint tells the display of the parts invalidated, unless the back
// buffer is new (then all of it), in either pixel size.
TEST(Ui, ARepaintPresentsTheInvalidPartsOrAllOfANewBackBuffer) {
    for (int pixel_bytes : {3, 4}) {
        TUi ui;
        ui.platform.PixelBytes = pixel_bytes;
        ui.form.Show();
        ui.form.Update();
        ASSERT_FALSE(ui.platform.Frames.empty());
        EXPECT_EQ(ui.platform.Frames.back().Area, (TRect{0, 0, 200, 100}));
        EXPECT_TRUE(ui.platform.Frames.back().Parts.empty());

        ui.form.InvalidateRect({10, 10, 20, 20});
        ui.form.InvalidateRect({150, 60, 190, 90});
        ui.form.Update();
        EXPECT_EQ(ui.platform.Frames.back().Area, (TRect{10, 10, 190, 90}));
        EXPECT_EQ(ui.platform.Frames.back().Parts,
                  (std::vector<TRect>{{10, 10, 20, 20}, {150, 60, 190, 90}}));

        // A new size is a new back buffer.
        ui.form.SetBounds(0, 0, 120, 80);
        ui.form.InvalidateRect({5, 5, 6, 6});
        ui.form.Update();
        EXPECT_EQ(ui.platform.Frames.back().Area, (TRect{0, 0, 120, 80})) << pixel_bytes;
        EXPECT_TRUE(ui.platform.Frames.back().Parts.empty());
    }
}

TEST(Ui, AModalFormTakesAllInputWhileOthersGetTheirPaints) {
    TUi ui;
    TForm box(ui.app);
    box.SetBounds(20, 20, 80, 40);
    ui.form.OnKeyDown = [&](int&, std::uint8_t) { ui.log += "main "; };
    ui.form.OnMouseMove = [&](std::uint8_t, int, int) { ui.log += "main-move "; };
    box.OnKeyDown = [&](int&, std::uint8_t) { ui.log += "box "; };
    ui.form.Show();
    box.Show();
    ui.app.SetModalForm(&box);
    TEvent key = Input(TEvent::KeyDown, ui.form.Window());
    ui.platform.Script(5, key);
    ui.platform.Script(6, Input(TEvent::MouseMove, ui.form.Window(), 5, 5));
    key.Window = box.Window();
    ui.platform.Script(7, key);
    ui.RunFor(10);
    EXPECT_EQ(ui.log, "box ");
    // Painting goes on behind the box.
    EXPECT_TRUE(std::any_of(ui.platform.Frames.begin(), ui.platform.Frames.end(),
                            [&](const auto& f) { return f.Window == ui.form.Window(); }));
    // A box that goes away takes its modality with it.
    {
        TForm gone(ui.app);
        ui.app.SetModalForm(&gone);
    }
    EXPECT_EQ(ui.app.ModalForm(), nullptr);
}

TEST(Ui, WithoutASystemBoxTheApplicationDrawsItsOwnOverTopmostWindows) {
    const struct {
        int buttons, key, answer;
    } cases[] = {{kMbYesNo, 'N', kIdNo}, {kMbYesNo, 13, kIdYes}, {kMbOk, 27, kIdOk}};
    for (const auto& c : cases) {
        TUi ui;
        ui.platform.SystemMessageBoxes = false;
        ui.form.SetTopmost(true);
        ui.form.Show();
        bool saver_lowered = false;
        std::string drawn_caption;
        // While the box waits: the topmost form is lowered and the box, our
        // newest window, takes the key.
        ui.platform.ScriptCall(100, [&] {
            saver_lowered = !ui.form.Topmost();
            drawn_caption = ui.platform.Windows.rbegin()->second.Params.Caption;
        });
        ui.platform.ScriptCall(105, [&] {
            TEvent press = Input(TEvent::KeyDown, ui.platform.Windows.rbegin()->first);
            press.Key = c.key;
            ui.platform.Script(110, press);
        });
        EXPECT_EQ(ui.app.MessageBox("Sure?", "Question", c.buttons), c.answer) << c.key;
        EXPECT_TRUE(saver_lowered);
        EXPECT_EQ(drawn_caption, "Question");
        EXPECT_TRUE(ui.form.Topmost()); // raised again
        EXPECT_TRUE(ui.platform.MessageBoxes.empty());
    }
}

TEST(Ui, HeadlessSoundsPlayInVirtualTimeAndReportTheirEnd) {
    TUi ui;
    THeadlessServices& services = ui.platform.Headless();
    services.SoundLengths["a.wav"] = 1000;
    services.FailingSounds.insert("bad.mp3");
    services.UnopenableSounds.insert("none.mid");
    std::unique_ptr<TMediaDevice> a = services.OpenMedia("/tmp/x/a.wav");
    std::unique_ptr<TMediaDevice> bad = services.OpenMedia("bad.mp3");
    EXPECT_EQ(services.OpenMedia("none.mid"), nullptr);
    a->Play([&](TNotifyValue v) {
        ui.log += "a-end@" + std::to_string(ui.platform.TickCount()) +
                  (v == TNotifyValue::nvSuccessful ? "-ok " : "-? ");
    });
    bad->Play(
        [&](TNotifyValue v) { ui.log += v == TNotifyValue::nvFailure ? "bad-failed " : "bad-? "; });
    ui.form.Show();
    ui.RunFor(3000);
    EXPECT_EQ(ui.log, "bad-failed a-end@1000-ok ");
    a->Play([&](TNotifyValue) { ui.log += "never "; });
    a->Stop();
    ui.RunFor(3000);
    EXPECT_EQ(ui.log.find("never"), std::string::npos);
    EXPECT_EQ(services.Log.front(), "open a.wav");
    EXPECT_EQ(services.CreateMoviePlayer(ui.form.Window()), nullptr);
    EXPECT_TRUE(services.AcquireInstanceGuard("saver.scrSemaphore"));
    EXPECT_FALSE(services.AcquireInstanceGuard("saver.scrSemaphore"));
}

TEST(Ui, TheMediaPlayerNotifiesOnceACommandThatAskedHasEnded) {
    TUi ui;
    ui.platform.Headless().SoundLengths["song.wav"] = 700;
    ui.platform.Headless().UnopenableSounds.insert("broken.xyz");
    TMediaPlayer player(ui.app);
    player.OnNotify = [&] {
        ui.log += "notice@" + std::to_string(ui.platform.TickCount()) + " ";
        player.Notify = false; // as the saver does: no notice for the stop
        player.Stop();
        player.FileName = "song.wav";
        player.Open();
        player.Play();
    };
    player.FileName = "broken.xyz";
    try {
        player.Open();
        FAIL() << "opened";
    } catch (const EError& e) {
        EXPECT_STREQ(e.what(), "No device can play broken.xyz");
    }
    EXPECT_THROW(player.Play(), EError);
    player.FileName = "song.wav";
    player.Open();
    player.Play();
    ui.form.Show();
    ui.RunFor(2200);
    EXPECT_EQ(ui.log, "notice@700 notice@1400 notice@2100 ");
    player.Close();
    ui.RunFor(2000);
    EXPECT_EQ(ui.log, "notice@700 notice@1400 notice@2100 ");
}

// The text engine the platforms of this system use.
TTextEngine& SystemText() {
    static const std::unique_ptr<TTextEngine> engine = MakeSystemTextEngine();
    return *engine;
}

TEST(Ui, TextIsMeasuredAndDrawnWithATransparentBackground) {
    TFontSpec font{"No Such Face At All", -24, 0x00FFFF}; // yellow, in a stand-in face
    const TTextExtent small = SystemText().Measure(font, "Sea");
    const TTextExtent wide = SystemText().Measure(font, "Sea and sand");
    EXPECT_GT(small.Width, 10);
    EXPECT_GT(wide.Width, small.Width * 2);
    EXPECT_GE(small.Height, 24);
    EXPECT_EQ(SystemText().Measure(font, "").Width, 0);
    TBitmap24 canvas(120, 40);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 120 * 3; ++x)
            canvas.Row(y)[x] = 0x40;
    SystemText().Paint(canvas, 4, 4, font, "Sea");
    int lit = 0, untouched = 0;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 120; ++x) {
            const std::uint8_t* p = canvas.Row(y) + x * 3;
            if (p[2] > 0xC0 && p[1] > 0xC0 && p[0] < 0x20) ++lit; // yellow where the letters are
            if (p[0] == 0x40 && p[1] == 0x40 && p[2] == 0x40) ++untouched;
        }
    EXPECT_GT(lit, 20);
    EXPECT_GT(untouched, 120 * 40 / 2); // the background shows through
    // Drawing partly off the bitmap is clipped, not a fault.
    SystemText().Paint(canvas, -30, 30, font, "Sea and sand");
}

// The pixels of one character drawn alone.
TBitmap24 Glyph(const TFontSpec& font, const std::string& text) {
    TBitmap24 canvas(48, 48);
    SystemText().Paint(canvas, 4, 4, font, text);
    return canvas;
}

TEST(Ui, CharactersTheFaceLacksComeFromAFaceThatHasThem) {
    // A face lacking a character draws the same empty box for every such
    // character: two characters of a script drawn alike were not drawn.
    for (const char* face : {"MS Sans Serif", "Arial"}) {
        const TFontSpec font{face, -28, 0xFFFFFF};
        const struct {
            const char *first, *second;
        } pairs[] = {
            {"\u03A9", "\u03BB"}, // Greek
            {"\u65E5", "\u672C"}, // Japanese (kanji)
            {"\u3042", "\u30AB"}, // Japanese (kana)
            {"\u0416", "\u044F"}, // Cyrillic
        };
        for (const auto& pair : pairs) {
            const TBitmap24 first = Glyph(font, pair.first), second = Glyph(font, pair.second);
            EXPECT_FALSE(test::SamePixels(first, second))
                << face << ": " << pair.first << " " << pair.second;
            EXPECT_FALSE(test::SamePixels(first, TBitmap24(48, 48)))
                << face << ": " << pair.first << " left no ink";
        }
        // A mixed caption is measured as wide as its parts.
        const int latin = SystemText().Measure(font, "Sea ").Width,
                  kanji = SystemText().Measure(font, "\u65E5\u672C").Width;
        EXPECT_GT(kanji, 28);
        EXPECT_NEAR(SystemText().Measure(font, "Sea \u65E5\u672C").Width, latin + kanji, 2);
    }
}

} // namespace
} // namespace tevrin
