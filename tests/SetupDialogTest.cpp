// SPDX-License-Identifier: MIT
#include "setup/SetupDialog.h"

#include "app/Entry.h"
#include "base/Errors.h"
#include "base/Paths.h"
#include "base/System.h"
#include "platform/headless/HeadlessPlatform.h"
#include "setup/StoredSettings.h"
#include "tests/TestSupport.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace tevrin {
namespace {

namespace fs = std::filesystem;

struct TDialogRun {
    explicit TDialogRun(const std::string& stored_mute = "", bool record_mute = false,
                        const TStringList& folders = {}) {
        TSSFileLocations record(96);
        record.Title = "Sea";
        record.Author = "Ann";
        record.Email = "mailto:ann@example.org";
        record.Web = "http://example.org/sea";
        record.lMute = record_mute;
        record.PictureFolders = folders;
        test::TSaverParts parts;
        parts.Pictures = {test::TestJpeg(8, 8)};
        saver = dir.File("Sea.scr");
        test::WriteBytes(saver, test::BuildSaver(parts, record));
        if (!stored_mute.empty())
            test::WriteBytes(Ini(), test::AsBytes("[Setup]\nmute=" + stored_mute + "\n"));
        dialog = std::make_unique<TfrmSetup>(app, saver, user.Path());
    }
    std::string Ini() const { return dir.File("CONTROL.INI"); }
    std::string Stored() const { return ReadIniString(Ini(), "Setup", "mute", "(none)"); }
    void Click(const TGraphicControl& control) {
        const TRect b = control.BoundsRect();
        for (auto kind : {TEvent::MouseMove, TEvent::MouseDown, TEvent::MouseUp}) {
            TEvent e;
            e.Kind = kind;
            e.Window = dialog->Window();
            e.X = b.Left + 2;
            e.Y = b.Top + 2;
            platform.Script(platform.TickCount(), e);
        }
        RunFor(10);
    }
    void RunFor(std::uint32_t ms) {
        platform.StopAt(platform.TickCount() + ms);
        while (!platform.Exhausted()) {
            app.ProcessMessages();
            app.WaitMessage(-1);
        }
    }
    test::TScratchDir dir, user;
    std::string saver;
    THeadlessPlatform platform{800, 600};
    TApplication app{platform};
    std::unique_ptr<TfrmSetup> dialog;
};

TEST(SetupDialog, ShowsTheRecordWithTheDesignTexts) {
    TDialogRun run;
    EXPECT_EQ(run.dialog->Caption(), "Setup []");
    run.dialog->Show();
    EXPECT_EQ(run.dialog->Caption(), "Setup [Sea]");
    EXPECT_EQ(run.dialog->lblTitle.Caption(), "Title:Sea");
    EXPECT_EQ(run.dialog->lblAuthor.Caption(), "Author:Ann");
    EXPECT_EQ(run.dialog->lblEmail.Caption(), "mailto:ann@example.org");
    EXPECT_EQ(run.dialog->lblWeb.Caption(), "http://example.org/sea");
    EXPECT_EQ(run.dialog->OKButton.Caption, "&Ok");
    EXPECT_FALSE(run.dialog->cbMute.Checked());
    EXPECT_FALSE(run.dialog->MuteChanged);
    EXPECT_EQ(run.dialog->BoundsRect(), (TRect{247, 170, 552, 429})); // centred, 305 x 259
}

TEST(SetupDialog, AFolderSaverChoosesItsPicturesFolderForThisUserAlone) {
    // Other savers, and a folder saver where there is no folder picker,
    // keep the dialog as it is.
    for (bool folders : {false, true}) {
        TDialogRun run("", false, folders ? TStringList{"/data/a"} : TStringList{});
        run.platform.Headless().FolderPicker = !folders;
        run.dialog->Show();
        EXPECT_FALSE(run.dialog->FolderButton.Visible()) << folders;
        EXPECT_FALSE(run.dialog->lblFolder.Visible()) << folders;
    }
    TDialogRun run("1", false, {"/data/a", "/b"});
    run.platform.Headless().FolderPicker = true;
    run.dialog->Show();
    ASSERT_TRUE(run.dialog->FolderButton.Visible());
    EXPECT_EQ(run.dialog->FolderButton.Caption, "Pictures folder\u2026");
    EXPECT_EQ(run.dialog->lblFolder.Caption(), "/data/a, /b");
    // Cancelled in the picker, which opened at the first folder: nothing.
    run.Click(run.dialog->FolderButton);
    EXPECT_EQ(run.platform.Headless().Log.back(), "choose folder /data/a");
    EXPECT_FALSE(run.dialog->ChosenFolder);
    // Chosen, then OK: kept in this user's own file, the mute choice with
    // it; the file beside the saver is left as it was.
    run.platform.Headless().FolderAnswer = "/photos/new one";
    run.Click(run.dialog->FolderButton);
    EXPECT_EQ(run.dialog->lblFolder.Caption(), "/photos/new one");
    run.Click(run.dialog->OKButton);
    EXPECT_TRUE(run.dialog->Closed());
    const std::string per_user = TStoredSettings(run.saver, run.user.Path()).PerUserPath();
    EXPECT_EQ(ReadIniString(per_user, "Setup", "folder", ""), "/photos/new one");
    EXPECT_EQ(ReadIniString(per_user, "Setup", "mute", ""), "1");
    EXPECT_EQ(ReadIniString(run.Ini(), "Setup", "folder", "(none)"), "(none)");
    EXPECT_TRUE(TStoredSettings(run.saver, run.user.Path()).ReadMute(false));
    // Opened again, it shows the folder chosen.
    TfrmSetup again(run.app, run.saver, run.user.Path());
    again.Show();
    EXPECT_EQ(again.lblFolder.Caption(), "/photos/new one");
}

TEST(SetupDialog, OkWritesOnlyAChangedChoice) {
    {
        TDialogRun run; // nothing stored, no click: nothing written
        run.dialog->Show();
        run.dialog->OKButton.Click();
        EXPECT_TRUE(run.dialog->Closed());
        EXPECT_FALSE(fs::exists(run.Ini()));
    }
    {
        TDialogRun run("5"); // showing ticks the box, so OK writes "1" again
        run.dialog->Show();
        EXPECT_TRUE(run.dialog->cbMute.Checked());
        EXPECT_TRUE(run.dialog->MuteChanged);
        run.dialog->OKButton.Click();
        EXPECT_EQ(run.Stored(), "1");
    }
    {
        TDialogRun run("", true); // the record's lMute is not the dialog's default
        run.dialog->Show();
        EXPECT_FALSE(run.dialog->cbMute.Checked());
        run.Click(run.dialog->cbMute);
        run.Click(run.dialog->cbMute); // back to the first state: still a change
        EXPECT_FALSE(run.dialog->cbMute.Checked());
        run.Click(run.dialog->OKButton);
        EXPECT_EQ(run.Stored(), "0");
        EXPECT_TRUE(run.dialog->Closed());
    }
}

TEST(SetupDialog, AFailedWriteIsReportedAndTheDialogStays) {
    TDialogRun run;
    fs::create_directories(run.Ini()); // a folder where the file should go
    run.dialog->Show();
    run.dialog->cbMute.SetChecked(true);
    run.Click(run.dialog->OKButton);
    ASSERT_EQ(run.platform.MessageBoxes.size(), 1u);
    EXPECT_EQ(run.platform.MessageBoxes[0].Text, "Unable to write to " + run.Ini());
    EXPECT_FALSE(run.dialog->Closed());
}

TEST(SetupDialog, LinksShowTheHandAndOpenThroughTheShell) {
    TDialogRun run;
    run.dialog->Show();
    run.Click(run.dialog->lblWeb);
    EXPECT_EQ(run.platform.CursorShape, TPlatform::TCursorShape::HandPoint);
    const auto& log = run.platform.Headless().Log;
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), "shell http://example.org/sea");
    TEvent away;
    away.Kind = TEvent::MouseMove;
    away.Window = run.dialog->Window();
    away.X = away.Y = 290;
    run.platform.Script(run.platform.TickCount(), away);
    run.RunFor(5);
    EXPECT_EQ(run.platform.CursorShape, TPlatform::TCursorShape::Default);
}

TEST(SetupDialog, ItScalesWithItsMonitorsDpiAndLongTextsEndWithAnEllipsis) {
    TDialogRun run;
    // A long title and web address, on a 150% monitor.
    TSSFileLocations record(96);
    record.Title =
        "The sea at dawn, the sea at noon, the sea at dusk and at night " + std::string(60, 'x');
    record.Web = "http://example.org/" + std::string(200, 'w');
    test::TSaverParts parts;
    parts.Pictures = {test::TestJpeg(8, 8)};
    const std::string saver = run.dir.File("Long.scr");
    test::WriteBytes(saver, test::BuildSaver(parts, record));
    TMonitor monitor;
    monitor.Bounds = {0, 0, 1600, 1200};
    monitor.PixelsPerInch = 144;
    monitor.Primary = true;
    THeadlessPlatform platform({monitor});
    TApplication app(platform);
    TfrmSetup dialog(app, saver, run.user.Path());
    dialog.Show();
    // 305 x 259 and the 8-point font at 96 DPI become half as large again.
    EXPECT_EQ(dialog.BoundsRect(), (TRect{571, 405, 1029, 794}));
    EXPECT_EQ(dialog.OKButton.BoundsRect(), (TRect{321, 336, 434, 374}));
    EXPECT_EQ(dialog.cbMute.Font.Height, -17);
    EXPECT_EQ(dialog.lblTitle.Font.Height, -20);
    // Cut before the right margin, with the whole text kept for the link.
    for (const TLabel* label : {&dialog.lblTitle, &dialog.lblWeb}) {
        EXPECT_LE(label->BoundsRect().Right, dialog.ClientWidth() - MulDiv(29, 144, 96));
        EXPECT_TRUE(label->Shown().ends_with("\xE2\x80\xA6")) << label->Shown();
        EXPECT_LT(label->Shown().size(), label->Caption().size());
    }
    EXPECT_EQ(dialog.lblWeb.Caption(), record.Web);
    EXPECT_EQ(run.dialog->lblWeb.Shown(), run.dialog->lblWeb.Caption()); // short ones whole

    // Moved to a 96 DPI monitor: placed where the system says, laid out
    // anew for it, the long texts cut again in the smaller font.
    const std::string wide_title = dialog.lblTitle.Shown();
    TEvent moved;
    moved.Kind = TEvent::DpiChanged;
    moved.Window = dialog.Window();
    moved.X = 96;
    moved.Area = {1700, 100, 2005, 359};
    platform.Script(platform.TickCount(), moved);
    platform.StopAt(platform.TickCount() + 10);
    while (!platform.Exhausted()) {
        app.ProcessMessages();
        app.WaitMessage(-1);
    }
    EXPECT_EQ(dialog.BoundsRect(), moved.Area);
    EXPECT_EQ(dialog.OKButton.BoundsRect(), (TRect{214, 224, 289, 249}));
    EXPECT_EQ(dialog.cbMute.Font.Height, -11);
    EXPECT_EQ(dialog.lblTitle.Font.Height, -13);
    EXPECT_LE(dialog.lblTitle.BoundsRect().Right, 305 - 29);
    EXPECT_NE(dialog.lblTitle.Shown(), wide_title);
    EXPECT_TRUE(dialog.lblTitle.Shown().ends_with("\xE2\x80\xA6"));
}

TEST(SetupDialog, TranslatedTextsAndTheSettingsMode) {
    TDialogRun run;
    test::WriteBytes(run.dir.File("tevrin.ini"),
                     test::AsBytes("[Language]\nTitle=\"Titel: \"\nMuteMusic=Ton aus\n"));
    TfrmSetup translated(run.app, run.saver, run.user.Path());
    translated.Show();
    EXPECT_EQ(translated.lblTitle.Caption(), "Titel: Sea");
    EXPECT_EQ(translated.cbMute.Caption, "Ton aus");
    EXPECT_EQ(translated.OKButton.Caption, "OK");

    // "/c" opens the dialog as the main window; Enter presses OK.
    THeadlessPlatform platform(800, 600);
    TApplication app(platform);
    TEvent enter;
    enter.Kind = TEvent::KeyDown;
    enter.Key = 13;
    enter.Window = 1; // the dialog is the first window made
    platform.Script(50, enter);
    platform.StopAt(5000);
    EXPECT_EQ(RunSaver(app, {"/c"}, run.saver, {}, run.user.Path()), 0);
    EXPECT_LT(platform.TickCount(), 100u); // ended by OK, not by the time limit
    ASSERT_FALSE(platform.Frames.empty());
}

} // namespace
} // namespace tevrin
