// SPDX-License-Identifier: MIT
#include "base/Errors.h"
#include "base/Paths.h"
#include "base/System.h"
#include "base/Unicode.h"
#include "setup/InterfaceTexts.h"
#include "setup/StoredSettings.h"
#include "tests/TestSupport.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <future>
#include <gtest/gtest.h>

namespace tevrin {
namespace {

namespace fs = std::filesystem;

std::string Text(const std::string& path) {
    test::TBytes bytes = test::ReadBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

TEST(ProfileFiles, ReadingFollowsThePrivateProfileRules) {
    test::TScratchDir dir;
    std::string path = dir.File("t.ini");
    EXPECT_EQ(ReadIniString(path, "Setup", "mute", "dflt"), "dflt"); // no file
    test::WriteBytes(path, test::AsBytes("; comment\r\n[Other]\r\nmute=9\r\n[SETUP]\r\n"
                                         "  Mute =  1  \r\nempty=\r\nquoted=\" a \"\r\n"
                                         "mute=2\r\n"));
    EXPECT_EQ(ReadIniString(path, "setup", "MUTE", "d"), "1");
    EXPECT_EQ(ReadIniString(path, "Setup", "empty", "d"), "");
    EXPECT_EQ(ReadIniString(path, "Setup", "quoted", "d"), " a ");
    EXPECT_EQ(ReadIniString(path, "Setup", "missing", "d"), "d");
    EXPECT_EQ(ReadIniString(path, "Nowhere", "mute", "d"), "d");
}

TEST(ProfileFiles, WritingCreatesWhatIsMissingAndKeepsEveryOtherLine) {
    test::TScratchDir dir;
    std::string path = dir.File("w.ini");
    ASSERT_TRUE(WriteIniString(path, "Setup", "mute", "1"));
    EXPECT_EQ(ReadIniString(path, "Setup", "mute", ""), "1");

    test::WriteBytes(path, test::AsBytes("[Desktop]\nWallpaper=x.bmp\n[Setup]\nmute=1\n"
                                         "other=keep\n\n[Last]\nk=v\n"));
    ASSERT_TRUE(WriteIniString(path, "Setup", "mute", "0"));
    ASSERT_TRUE(WriteIniString(path, "Setup", "added", "yes"));
    ASSERT_TRUE(WriteIniString(path, "New", "k", "v2"));
    EXPECT_EQ(ReadIniString(path, "Setup", "mute", ""), "0");
    EXPECT_EQ(ReadIniString(path, "Setup", "added", ""), "yes");
    EXPECT_EQ(ReadIniString(path, "New", "k", ""), "v2");
    EXPECT_EQ(ReadIniString(path, "Desktop", "Wallpaper", ""), "x.bmp");
    EXPECT_EQ(ReadIniString(path, "Setup", "other", ""), "keep");
    EXPECT_EQ(ReadIniString(path, "Last", "k", ""), "v");
    std::string text = Text(path);
    EXPECT_LT(text.find("added=yes"), text.find("[Last]"));
    EXPECT_EQ(text.find("mute=1"), std::string::npos);

    EXPECT_FALSE(WriteIniString(dir.File("no-such-dir") + kPathDelim + "x.ini", "S", "k", "v"));
}

// Runs `action`, failing the test program at once when it does not end:
// a read that waits for a writer would otherwise hang the whole run.
void WithinSeconds(int seconds, const std::function<void()>& action) {
    auto done = std::async(std::launch::async, action);
    if (done.wait_for(std::chrono::seconds(seconds)) != std::future_status::ready) {
        ADD_FAILURE() << "still waiting after " << seconds << " s";
        std::fflush(stdout);
        std::_Exit(1);
    }
    done.get();
}

TEST(ProfileFiles, OnlyRegularFilesAreReadAndWritten) {
    test::TScratchDir dir;
    const std::string outside = dir.File("outside.txt");
    test::WriteBytes(outside, test::AsBytes("[Setup]\nmute=1\nmine=keep\n"));
    // A link named like the settings is not followed, either way.
    std::error_code error;
    fs::create_symlink(outside, dir.File("linked.ini"), error);
    if (!error) {
        EXPECT_EQ(ReadIniString(dir.File("linked.ini"), "Setup", "mute", "none"), "none");
        EXPECT_FALSE(WriteIniString(dir.File("linked.ini"), "Setup", "mute", "0"));
        EXPECT_EQ(test::ReadBytes(outside), test::AsBytes("[Setup]\nmute=1\nmine=keep\n"));
        fs::create_symlink(dir.File("nowhere.txt"), dir.File("dangling.ini"), error);
        EXPECT_FALSE(WriteIniString(dir.File("dangling.ini"), "Setup", "mute", "0"));
        EXPECT_FALSE(fs::exists(dir.File("nowhere.txt")));
    }
    // A FIFO is neither waited on nor written.
    const std::string fifo = dir.File("fifo.ini");
    if (std::system(("mkfifo '" + fifo + "' 2>/dev/null").c_str()) == 0) {
        WithinSeconds(5, [&] {
            EXPECT_EQ(ReadIniString(fifo, "Setup", "mute", "none"), "none");
            EXPECT_FALSE(WriteIniString(fifo, "Setup", "mute", "0"));
        });
    }
    EXPECT_EQ(ReadIniString(dir.Path(), "Setup", "mute", "none"), "none"); // a folder
    EXPECT_FALSE(WriteIniString(dir.Path(), "Setup", "mute", "0"));
}

TEST(ProfileFiles, AHugeFileIsReadInPartAndLeftAlone) {
    test::TScratchDir dir;
    const std::string path = dir.File("big.ini");
    std::string text = "[Setup]\nmute=1\n";
    text.resize(3 * kMaxIniBytes, 'x');
    text += "\n[Late]\nkey=beyond the first 64 KiB\n";
    test::WriteBytes(path, test::AsBytes(text));
    EXPECT_EQ(ReadIniString(path, "Setup", "mute", ""), "1");
    EXPECT_EQ(ReadIniString(path, "Late", "key", "unread"), "unread");
    // Its other lines could not be kept: the file is not rewritten.
    EXPECT_FALSE(WriteIniString(path, "Setup", "mute", "0"));
    EXPECT_EQ(test::ReadBytes(path).size(), text.size());
}

TEST(ProfileFiles, WhatIsWrittenReadsBackInFilesOfEveryShape) {
    // Cases the settings fuzzer found: a section opened on a UTF-8 file's
    // first line, a carriage return ending the file, a doubled mark.
    const struct {
        const char* text;
        const char* written;
    } cases[] = {
        {"\xEF\xBB\xBF[setup]\nMUTE = 0\n", "\xEF\xBB\xBF[setup]\nmute=1\n"},
        {"\n[Setup]\r", "\n[Setup]\r\nmute=1\n"},
        {"\xEF\xBB\xBF\xEF\xBB\xBF", "\xEF\xBB\xBF\xEF\xBB\xBF\n[Setup]\nmute=1\n"},
    };
    test::TScratchDir dir;
    const std::string path = dir.File("c.ini");
    for (const auto& c : cases) {
        test::WriteBytes(path, test::AsBytes(c.text));
        ASSERT_TRUE(WriteIniString(path, "Setup", "mute", "1"));
        EXPECT_EQ(test::ReadBytes(path), test::AsBytes(c.written));
        EXPECT_EQ(ReadIniString(path, "Setup", "mute", ""), "1");
    }
}

TEST(ProfileFiles, WritingReplacesTheFileInOneStep) {
    test::TScratchDir dir;
    const std::string path = dir.File("w.ini");
    test::WriteBytes(path, test::AsBytes("; the user's own\r\n[Setup]\r\nmute=1\r\n"));
    ASSERT_TRUE(WriteIniString(path, "Setup", "mute", "0"));
    EXPECT_EQ(test::ReadBytes(path), test::AsBytes("; the user's own\r\n[Setup]\r\nmute=0\r\n"));
    // Nothing else is left in the folder: the new file took the old one's place.
    int entries = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir.Path()))
        ++entries;
    EXPECT_EQ(entries, 1);
}

TEST(StoredSettings, MuteValuesAndDefaults) {
    test::TScratchDir dir, user;
    std::string exe = dir.File("saver.scr");
    TStoredSettings settings(exe, user.Path());
    EXPECT_EQ(settings.ReadPath(), dir.File("CONTROL.INI"));
    EXPECT_TRUE(settings.ReadMute(true)); // nothing stored: the default
    EXPECT_FALSE(settings.ReadMute(false));
    struct {
        const char* stored;
        bool muted_default_off;
        bool muted_default_on;
    } cases[] = {{"1", true, true},    {"5", true, true},     {"0x10", true, true},
                 {"0", false, false},  {"0x0", false, false}, {"", false, true},
                 {"word", false, true}};
    for (const auto& c : cases) {
        test::WriteBytes(dir.File("CONTROL.INI"),
                         test::AsBytes(std::string("[Setup]\nmute=") + c.stored + "\n"));
        EXPECT_EQ(settings.ReadMute(false), c.muted_default_off) << c.stored;
        EXPECT_EQ(settings.ReadMute(true), c.muted_default_on) << c.stored;
    }
    settings.WriteMute(true);
    EXPECT_TRUE(settings.ReadMute(false));
    EXPECT_EQ(ReadIniString(dir.File("CONTROL.INI"), "Setup", "mute", ""), "1");
    settings.WriteMute(false);
    EXPECT_EQ(ReadIniString(dir.File("CONTROL.INI"), "Setup", "mute", ""), "0");
    EXPECT_FALSE(fs::exists(settings.PerUserPath()));
}

TEST(StoredSettings, AnUnwritableFolderMovesTheSettingToThePerUserFile) {
    test::TScratchDir user;
    // A folder that does not exist cannot be written, as a system folder cannot.
    std::string exe = JoinPath(JoinPath(user.Path(), "missing"), "Sea Saver.scr");
    TStoredSettings settings(exe, user.Path());
    EXPECT_EQ(settings.PerUserPath(),
              JoinPath(JoinPath(JoinPath(user.Path(), kAppConfigFolder), "Sea Saver.scr"),
                       "CONTROL.INI"));
    EXPECT_FALSE(settings.ReadMute(false));
    settings.WriteMute(true);
    EXPECT_EQ(ReadIniString(settings.PerUserPath(), "Setup", "mute", ""), "1");
    EXPECT_TRUE(settings.ReadMute(false));
}

TEST(StoredSettings, TheFileBesideTheExecutableCountsUntilAPerUserOneExists) {
    test::TScratchDir dir, user;
    TStoredSettings settings(dir.File("s.scr"), user.Path());
    test::WriteBytes(dir.File("CONTROL.INI"), test::AsBytes("[Setup]\nmute=1\n"));
    EXPECT_TRUE(settings.ReadMute(false));
    fs::create_directories(fs::path(settings.PerUserPath()).parent_path());
    test::WriteBytes(settings.PerUserPath(), test::AsBytes("[Setup]\nmute=0\n"));
    EXPECT_FALSE(settings.ReadMute(true));
    settings.WriteMute(true); // an existing per-user file takes the writes
    EXPECT_EQ(ReadIniString(settings.PerUserPath(), "Setup", "mute", ""), "1");
}

TEST(StoredSettings, AFailedWriteNamesTheFile) {
    test::TScratchDir dir;
    // The per-user base is a file, so no folder can be made under it.
    test::WriteBytes(dir.File("blocker"), test::AsBytes("x"));
    TStoredSettings settings(JoinPath(dir.File("missing"), "s.scr"), dir.File("blocker"));
    try {
        settings.WriteMute(true);
        FAIL() << "wrote";
    } catch (const EError& e) {
        EXPECT_EQ(std::string(e.what()), "Unable to write to " + settings.PerUserPath());
    }
}

TEST(InterfaceTexts, BuiltInTextsFileTextsAndDefaults) {
    test::TScratchDir dir;
    std::string exe = dir.File("s.scr");
    TDialogTexts built_in = LoadDialogTexts(exe);
    EXPECT_EQ(built_in.OK, "&Ok");
    EXPECT_EQ(built_in.Web, "Web address:");
    EXPECT_EQ(LoadDownloadSwfText(exe),
              "Please install the Macromedia Flash Player ActiveX control.");

    test::WriteBytes(dir.File("tevrin.ini"),
                     test::AsBytes("[Language]\nTitle=\"Titel: \"\nMuteMusic=Ton aus\n"
                                   "DownloadSWF=Bitte installieren\nEmail=\n"));
    TDialogTexts texts = LoadDialogTexts(exe);
    EXPECT_EQ(texts.Title, "Titel: ");
    EXPECT_EQ(texts.MuteMusic, "Ton aus");
    EXPECT_EQ(texts.OK, "OK"); // a file without the key gives the key's default
    EXPECT_EQ(texts.Email, "");
    EXPECT_EQ(texts.Author, "Author:");
    EXPECT_EQ(LoadDownloadSwfText(exe), "Bitte installieren");
}

TEST(InterfaceTexts, AnsiOrUtf8AfterAByteOrderMark) {
    test::TScratchDir dir;
    const std::string exe = dir.File("s.scr");
    // UTF-8 with its mark: any language, the first line's section included.
    test::WriteBytes(dir.File("tevrin.ini"),
                     test::AsBytes("\xEF\xBB\xBF[Language]\r\nMuteMusic=\u0412\u044B\u043A\u043B. "
                                   "\u97F3\u697D\r\nbtnOK=\u041E\u041A\r\n"));
    TDialogTexts texts = LoadDialogTexts(exe);
    EXPECT_EQ(texts.MuteMusic, "\u0412\u044B\u043A\u043B. \u97F3\u697D");
    EXPECT_EQ(texts.OK, "\u041E\u041A");
    // Without the mark the file is ANSI.
    test::WriteBytes(dir.File("tevrin.ini"),
                     test::AsBytes("[Language]\r\nMuteMusic=Musique coup\xE9"
                                   "e\r\n"));
    if (AnsiCodePage() == 1252) {
        EXPECT_EQ(LoadDialogTexts(exe).MuteMusic, "Musique coup\u00E9"
                                                  "e");
    }
    EXPECT_TRUE(IsValidUtf8(LoadDialogTexts(exe).MuteMusic));
}

} // namespace
} // namespace tevrin
