// SPDX-License-Identifier: MIT
#include "tools/Install.h"

#include <gtest/gtest.h>

namespace tevrin {
namespace {

// As the daemon's settings write it: each entry continues into the next
// line, and a blank line ends the list.
const std::string kUserPrefs = "# XScreenSaver Preferences File\n"
                               "timeout:\t0:10:00\n"
                               "mode:\t\trandom\n"
                               "selected:\t2\n"
                               "\n"
                               "programs:\t\t\t\t\t\t\t      \\\n"
                               "\t\t\t\t  maze --root\t\t\t\t    \\n\\\n"
                               "- GL: \t\t\t\tsuperquadrics --root\t\t\t    \\n\\\n"
                               "\t\t\t\t\"Old photos\" /opt/photos --root   \\n\\\n"
                               "\t\t\t\t  deco --root\t\t\t\t    \\n\\\n"
                               "\n"
                               "pointerHysteresis:\t10\n";

const std::string kDefaults = "*timeout:\t\t0:10:00\n"
                              "*mode:\t\t\trandom\n"
                              "*programs:\t\t\t\t\t\t\t      \\\n"
                              "\t\t\t\tmaze --root\t\t\t\t    \\n\\\n"
                              "- GL: \t\t\t\tsuperquadrics --root\t\t\t    \\n\\\n"
                              "\t\t\t\tdeco --root\t\t\t\t    \\n\n"
                              "\n"
                              "*fade:\t\t\tTrue\n";

const std::string kEntry = XScreensaverEntry("Sea", "/home/ann/savers/sea");

TEST(XScreensaverPrefs, AnEntryAddedAndRemovedLeavesTheFileAsItWas) {
    for (bool only : {false, true}) {
        SCOPED_TRACE(only ? "only" : "among others");
        const TXScreensaverEdit edit = AddXScreensaverProgram(kUserPrefs, kEntry, only, kDefaults);
        // Last in the list, after the disabled entry too.
        EXPECT_EQ(edit.Index, 4);
        EXPECT_NE(
            edit.Text.find("deco --root\t\t\t\t    \\n\\\n\t\t\t\t\"Sea\" /home/ann/savers/sea "
                           "--root\t\t\t\t    \\n\\\n\n"),
            std::string::npos);
        EXPECT_NE(edit.Text.find(only ? "mode:\t\tone\nselected:\t4\n"
                                      : "mode:\t\trandom\nselected:\t2\n"),
                  std::string::npos);
        EXPECT_NE(edit.Text.find("\"Old photos\" /opt/photos"), std::string::npos);
        EXPECT_EQ(RemoveXScreensaverProgram(edit.Text, "/home/ann/savers/sea", edit.PreviousMode,
                                            edit.PreviousSelected),
                  kUserPrefs);
    }
}

TEST(XScreensaverPrefs, TheUsersLaterChoiceIsKeptAndItsIndexFollowsItsProgram) {
    TXScreensaverEdit edit = AddXScreensaverProgram(kUserPrefs, kEntry, true, kDefaults);
    // The user picked "Old photos" (2) after the install: uninstall keeps it.
    std::string chosen = edit.Text;
    chosen.replace(chosen.find("selected:\t4"), 11, "selected:\t2");
    const std::string after = RemoveXScreensaverProgram(chosen, "/home/ann/savers/sea",
                                                        edit.PreviousMode, edit.PreviousSelected);
    EXPECT_NE(after.find("mode:\t\tone\nselected:\t2\n"), std::string::npos);
    EXPECT_EQ(after.find("/home/ann/savers/sea"), std::string::npos);

    // A selection behind ours moves with its program both ways.
    std::string list_first = kUserPrefs;
    list_first.replace(list_first.find("\t\t\t\t  deco"), 0,
                       "\t\t\t\t\"Sea\" /home/ann/savers/sea --root \\n\\\n");
    list_first.replace(list_first.find("selected:\t2"), 11, "selected:\t4");
    const std::string removed =
        RemoveXScreensaverProgram(list_first, "/home/ann/savers/sea", std::nullopt, std::nullopt);
    EXPECT_NE(removed.find("selected:\t3\n"), std::string::npos);

    std::string selecting_deco = kUserPrefs;
    selecting_deco.replace(selecting_deco.find("selected:\t2"), 11, "selected:\t3");
    const std::string without_list_end = [&] {
        // A list whose last entry does not continue: ours goes before it.
        std::string text = selecting_deco;
        text.replace(text.find("deco --root\t\t\t\t    \\n\\\n\n"), 25, "deco --root\n");
        return text;
    }();
    const TXScreensaverEdit before_last =
        AddXScreensaverProgram(without_list_end, kEntry, false, kDefaults);
    EXPECT_EQ(before_last.Index, 3);
    EXPECT_NE(before_last.Text.find("selected:\t4\n"), std::string::npos);
    EXPECT_EQ(RemoveXScreensaverProgram(before_last.Text, "/home/ann/savers/sea", std::nullopt,
                                        std::nullopt),
              without_list_end);
}

TEST(XScreensaverPrefs, FilesWithoutAListOrValuesGetTheSystemsList) {
    // Only a timeout: the daemon runs the system's programs, which the file
    // now lists with ours.
    const TXScreensaverEdit edit =
        AddXScreensaverProgram("timeout:\t0:05:00\n", kEntry, true, kDefaults);
    EXPECT_EQ(edit.Index, 3);
    EXPECT_EQ(edit.PreviousMode, "");
    EXPECT_EQ(edit.PreviousSelected, "");
    EXPECT_NE(edit.Text.find("mode:\t\tone\nselected:\t3\nprograms:"), std::string::npos);
    EXPECT_NE(edit.Text.find("deco --root\t\t\t\t    \\n\\\n\t\t\t\t\"Sea\""), std::string::npos);
    const std::string back = RemoveXScreensaverProgram(edit.Text, "/home/ann/savers/sea",
                                                       edit.PreviousMode, edit.PreviousSelected);
    EXPECT_EQ(back.find("mode:"), std::string::npos);
    EXPECT_EQ(back.find("selected:"), std::string::npos);
    EXPECT_NE(back.find("maze --root"), std::string::npos);
}

TEST(XScreensaverPrefs, OnlyOurEntryIsEverTouched) {
    // Another program whose path starts like ours, and a disabled copy of
    // ours the user made by hand under another title.
    std::string prefs = kUserPrefs;
    prefs.replace(prefs.find("\t\t\t\t  deco"), 0,
                  "\t\t\t\t/home/ann/savers/sea-two --root \\n\\\n"
                  "- \t\t\t\t\"Mine\" /home/ann/savers/sea --root -x \\n\\\n");
    const std::string removed =
        RemoveXScreensaverProgram(prefs, "/home/ann/savers/sea", std::nullopt, std::nullopt);
    EXPECT_NE(removed.find("sea-two"), std::string::npos);
    EXPECT_EQ(removed.find("\"Mine\""), std::string::npos);
    EXPECT_EQ(
        RemoveXScreensaverProgram(kUserPrefs, "/home/ann/savers/sea", std::nullopt, std::nullopt),
        kUserPrefs);
}

TEST(XScreensaverPrefs, PathsAndTitlesAreWrittenSoTheListReadsThemBack) {
    EXPECT_EQ(XScreensaverEntry("Sea \"blue\"\n", "/home/ann b/it's"),
              "\"Sea  blue  \" '/home/ann b/it'\\''s' --root");
}

} // namespace
} // namespace tevrin
