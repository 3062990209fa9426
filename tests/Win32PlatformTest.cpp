// SPDX-License-Identifier: MIT
#include "platform/win32/Win32Platform.h"

#include "platform/win32/Win32Services.h"
#include "tests/TestSupport.h"
#include "ui/Forms.h"
#include "ui/StdCtrls.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <memory>
#include <thread>

namespace tevrin {
namespace {

// Hides the form and shows it again, until the system has had it repainted.
void Reshow(TApplication& app, TForm& form) {
    form.Hide();
    app.ProcessMessages();
    form.Show();
    for (int i = 0; i < 5; ++i) {
        app.ProcessMessages();
        app.WaitMessage(20);
    }
}

TEST(Win32Services, TheSoundDriverStaysLoadedWhenItsLastDeviceCloses) {
    // A short wave: a sound's driver thread may still be leaving the
    // driver's code when the saver closes the device for the next sound.
    test::TScratchDir dir;
    const std::string wave = dir.File("beep.wav");
    const std::uint32_t rate = 8000, samples = 800;
    auto u32 = [](std::uint32_t v) {
        return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
    };
    std::string bytes = "RIFF" + u32(36 + samples) + "WAVEfmt ";
    bytes += u32(16) + std::string("\x01\x00\x01\x00", 4) + u32(rate) + u32(rate) +
             std::string("\x01\x00\x08\x00", 4);
    bytes += "data" + u32(samples) + std::string(samples, '\x80');
    test::WriteBytes(wave, test::AsBytes(bytes));
    TWin32Platform platform;
    std::unique_ptr<TMediaDevice> device = platform.Services().OpenMedia(wave);
    if (!device) GTEST_SKIP() << "no device plays waves here";
    device.reset();
    const std::vector<std::string> loaded = TWin32Services::LoadedMciDrivers();
    EXPECT_NE(std::find(loaded.begin(), loaded.end(), "mciwave.dll"), loaded.end())
        << loaded.size();
}

TEST(Win32Services, RegistryNumbersReadAsTheirDecimalText) {
    const std::uint32_t one = 1, big = 0xFFFFFFFF;
    constexpr unsigned long kString = 1, kDword = 4; // REG_SZ, REG_DWORD
    EXPECT_EQ(TWin32Services::DwordText(kDword, &one, 4), "1");
    EXPECT_EQ(TWin32Services::DwordText(kDword, &big, 4), "-1");
    // The text "1" is no number to the check, nor is a short value.
    EXPECT_EQ(TWin32Services::DwordText(kString, "1", 2), "");
    EXPECT_EQ(TWin32Services::DwordText(kDword, &one, 2), "");
}

TEST(Win32Services, TheSystemAnswersForWhatItHas) {
    TWin32Platform platform;
    TServices& services = platform.Services();
    EXPECT_FALSE(services.ReadUserRegistry("Software\\Tevrin\\No such key", "x").has_value());
    // The key of the desktop settings exists; a value it lacks reads as no number.
    EXPECT_EQ(services.ReadUserRegistry("Control Panel\\Desktop", "Tevrin no such value"),
              std::string());
    EXPECT_EQ(services.OpenMedia("C:\\no such folder\\none.wav"), nullptr);
    EXPECT_FALSE(services.ForeignWindowExists(0x7FFF0001));
}

TEST(Win32Services, TheInstanceGuardKeepsOutASecondHolder) {
    TWin32Platform first, second;
    const std::string name = "TevrinTest" +
                             std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                             "Semaphore";
    EXPECT_TRUE(first.Services().AcquireInstanceGuard(name));
    EXPECT_FALSE(second.Services().AcquireInstanceGuard(name));
    EXPECT_TRUE(second.Services().AcquireInstanceGuard(name + "2"));
}

TEST(Win32Platform, AWakeFromAnotherThreadEndsAWait) {
    TWin32Platform platform;
    std::thread waker([&] { platform.Wake(); });
    TEvent event;
    EXPECT_TRUE(platform.WaitEvent(event, 5000));
    waker.join();
    EXPECT_EQ(event.Kind, TEvent::Wake);
    EXPECT_FALSE(platform.WaitEvent(event, 0));
}

TEST(Win32Services, ThePreviewIsAChildWindowPaintingItsPictureWhenAskedAndFollowingItsSize) {
    TWin32Platform platform;
    TApplication app(platform);
    // Stands in for the display settings' preview window.
    auto host = std::make_unique<TForm>(app);
    host->Border = false;
    host->Color = 0xFF00FF;
    host->SetBounds(40, 40, 160, 120);
    host->Show();
    app.ProcessMessages();
    auto& services = static_cast<TWin32Services&>(platform.Services());
    const TBitmap24 picture = test::TestPicture(160, 120);
    services.ShowInForeignWindow(host->Window(), picture);
    app.ProcessMessages();
    const TWindowId child = services.PreviewWindow();
    ASSERT_NE(child, 0);
    EXPECT_TRUE(test::SamePixels(TWin32Platform::Capture(child), picture));
    // Hidden and shown again, the host is exposed whole; the child paints
    // its picture again in its own paint handler.
    Reshow(app, *host);
    EXPECT_TRUE(test::SamePixels(TWin32Platform::Capture(child), picture));
    // A new size: the same child, at the new picture's size.
    const TBitmap24 smaller = test::TestPicture(100, 80);
    services.ShowInForeignWindow(host->Window(), smaller);
    app.ProcessMessages();
    EXPECT_EQ(services.PreviewWindow(), child);
    EXPECT_TRUE(test::SamePixels(TWin32Platform::Capture(child), smaller));
    // The child goes with the window it lives in.
    host.reset();
    app.ProcessMessages();
    EXPECT_EQ(services.PreviewWindow(), 0);
}

TEST(Win32Platform, FormsComposeInTheWindowsOwnBitmapWhichShowsTheirColours) {
    TWin32Platform platform;
    TApplication app(platform);
    TForm form(app);
    form.Border = false;
    // The form painted with `picture` at its size.
    TBitmap24 picture;
    form.OnPaint = [&](TCanvas& canvas) { canvas.Draw(0, 0, picture); };
    auto paint = [&](int width) {
        picture = test::TestPicture(width, 90);
        form.SetBounds(30, 30, width, 90);
        app.ProcessMessages();
        form.Invalidate();
        form.Update();
    };
    form.Show();
    paint(170);
    // A DIB section of the display's 4-byte pixels, shown without a copy
    // of ours.
    EXPECT_TRUE(form.BackBuffer().IsView());
    EXPECT_EQ(form.BackBuffer().PixelBytes(), 4);
    EXPECT_TRUE(test::SamePixels(TWin32Platform::Capture(form.Window()), picture));
    // Uncovered again, the window is repainted from the same pixels.
    Reshow(app, form);
    EXPECT_TRUE(test::SamePixels(TWin32Platform::Capture(form.Window()), picture));
    // A new size is a new bitmap.
    paint(230);
    EXPECT_EQ(form.BackBuffer().Width(), 230);
    EXPECT_TRUE(test::SamePixels(TWin32Platform::Capture(form.Window()), picture));
}

TEST(Win32Platform, AMoveToAnotherDpiPlacesTheWindowAsSuggestedAndTellsItsForm) {
    TWin32Platform platform;
    TApplication app(platform);
    struct TScaledForm : TForm {
        using TForm::TForm;
        void DpiChanged(int dpi) override { told = dpi; }
        int told = 0;
    } form(app);
    form.Border = false;
    form.SetBounds(50, 60, 200, 100);
    form.Show();
    app.ProcessMessages();
    // WM_DPICHANGED as the system sends it: the new DPI twice in wparam,
    // the suggested window rectangle (left, top, right, bottom) in lparam.
    struct {
        std::int32_t left, top, right, bottom;
    } suggested{80, 90, 380, 240};
    platform.HandleMessage(form.Window(), 0x02E0, (144u << 16) | 144u,
                           reinterpret_cast<std::intptr_t>(&suggested));
    app.ProcessMessages();
    EXPECT_EQ(form.told, 144);
    EXPECT_EQ(form.BoundsRect(), (TRect{80, 90, 380, 240})); // no frame: client = window
    EXPECT_EQ(platform.Services().ForeignWindowRect(form.Window()), form.BoundsRect());
}

TEST(Win32Platform, FormsAreWindowsWithTheirClientAreaAsBounds) {
    TWin32Platform platform;
    TApplication app(platform);
    TForm form(app);
    form.SetCaption("Setup [Sea]");
    form.SetBounds(100, 80, 305, 259);
    int painted = 0;
    form.OnPaint = [&](TCanvas&) { ++painted; };
    form.Show();
    app.ProcessMessages();
    EXPECT_NE(form.Window(), 0);
    EXPECT_TRUE(platform.Services().ForeignWindowVisible(form.Window()));
    // Seen as another process's window: its client area is the form's.
    const TRect r = platform.Services().ForeignWindowRect(form.Window());
    EXPECT_EQ(r.Width(), 305);
    EXPECT_EQ(r.Height(), 259);
    EXPECT_GE(painted, 1);
    EXPECT_EQ(form.BackBuffer().Width(), 305);
    // The close box asks the form to close, which ends a main form's loop.
    TEvent close;
    close.Kind = TEvent::CloseRequest;
    close.Window = form.Window();
    platform.Queue(close);
    app.ProcessMessages();
    EXPECT_TRUE(form.Closed());
    EXPECT_TRUE(app.Terminated());
}

TEST(Win32Platform, DialogControlsAreTheSystemsOwn) {
    TWin32Platform platform;
    TApplication app(platform);
    TForm form(app);
    TCheckBox box(form);
    TButton ok(form);
    TLabel label(form);
    box.SetBounds(10, 10, 90, 15);
    ok.SetBounds(10, 40, 75, 25);
    int toggles = 0, clicks = 0;
    box.OnClick = [&] { ++toggles; };
    ok.OnClick = [&] { ++clicks; };
    EXPECT_EQ(box.Native(), 0); // nothing native before the window exists
    form.Show();
    ASSERT_NE(box.Native(), 0);
    ASSERT_NE(ok.Native(), 0);
    ASSERT_NE(label.Native(), 0);
    // A click on the system's box arrives as a command; ours follows its state.
    platform.SetNativeChecked(box.Native(), true);
    TEvent command;
    command.Kind = TEvent::Command;
    command.Window = form.Window();
    command.Control = box.Native();
    platform.Queue(command);
    app.ProcessMessages();
    EXPECT_TRUE(box.Checked());
    EXPECT_EQ(toggles, 1);
    // Setting ours sets the system's, without a second command.
    box.SetChecked(false);
    EXPECT_FALSE(platform.NativeChecked(box.Native()));
    EXPECT_EQ(toggles, 2);
    command.Control = ok.Native();
    platform.Queue(command);
    app.ProcessMessages();
    EXPECT_EQ(clicks, 1);
}

} // namespace
} // namespace tevrin
