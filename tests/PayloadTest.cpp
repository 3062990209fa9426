// SPDX-License-Identifier: MIT
#include "payload/Payload.h"

#include "base/Errors.h"
#include "base/Paths.h"
#include "payload/Trailer.h"
#include "tests/TestSupport.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace tevrin {
namespace {

namespace fs = std::filesystem;
using test::TBytes;

class PayloadTest : public ::testing::Test {
protected:
    // Writes a saver of `parts` and returns its path; `record` gets the lists.
    std::string Saver(const test::TSaverParts& parts, TSSFileLocations& record,
                      const std::string& name = "saver.scr") {
        std::string path = dir_.File(name);
        test::WriteBytes(path, test::BuildSaver(parts, record));
        return path;
    }

    test::TScratchDir dir_;
    test::TScratchDir temp_;
};

TEST_F(PayloadTest, LoadFillsTheRecordAndExtractsIntoAPrivateFolder) {
    TSSFileLocations written(96);
    written.Title = "Sea";
    written.Interval = 3000;
    written.Ver = "photo";
    test::TSaverParts parts;
    parts.Pictures = {test::TestJpeg(40, 30), test::TestJpeg(30, 40)};
    parts.Sounds = {{"one.wav", test::AsBytes("RIFF one")}, {"two.mp3", TBytes(150000, 7)}};
    parts.Movies = {{"intro.swf", test::AsBytes("FWS")}};
    std::string path = Saver(parts, written);

    TSSFileLocations record(96);
    TTempFolder temp(temp_.Path());
    TLoadOutcome outcome = LoadPayload(path, record, temp);
    EXPECT_EQ(outcome.Result, TLoadOutcome::Loaded);
    EXPECT_EQ(record.Title, "Sea");
    EXPECT_EQ(record.Interval, 3000);
    EXPECT_EQ(record.PicCount(), 2);
    EXPECT_EQ(fs::path(temp.Path()).parent_path(), fs::path(temp_.Path()));
    EXPECT_EQ(test::ReadBytes(temp.PathFor("one.wav")), parts.Sounds[0].second);
    EXPECT_EQ(test::ReadBytes(temp.PathFor("two.mp3")), parts.Sounds[1].second);
    EXPECT_EQ(test::ReadBytes(temp.PathFor("intro.swf")), test::AsBytes("FWS"));
#ifndef _WIN32
    EXPECT_EQ(fs::status(temp.Path()).permissions() & fs::perms::all, fs::perms::owner_all);
#endif

    std::unique_ptr<TImage> second = FetchPicture(path, record, 1);
    EXPECT_EQ(second->Picture.Decode().Width(), 30);
    EXPECT_EQ(second->Picture.Decode().Height(), 40);
    EXPECT_EQ(test::ErrorOf([&] { FetchPicture(path, record, 2); }), "Index is out of bounds");

    RemoveExtractedFiles(record, temp);
    EXPECT_FALSE(fs::exists(temp.Path()));
    EXPECT_TRUE(fs::is_empty(temp_.Path()));
}

// A stub that is a PE executable (32 or 64 bits) with an empty security
// directory, as the linker leaves it.
TBytes PeStub(bool pe32plus) {
    TBytes stub(0x200, 0);
    auto put = [&](std::size_t at, std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            stub[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    };
    put(0, 0x5A4D, 2);
    put(0x3C, 0x80, 4);
    put(0x80, 0x00004550, 4);
    const std::size_t optional = 0x80 + 24, header = pe32plus ? 112 : 96;
    put(optional, pe32plus ? 0x20B : 0x10B, 2);
    put(optional + header - 4, 16, 4); // data directories
    return stub;
}

// `saver` as a signer leaves it: zeros up to a multiple of 8, then a
// certificate table of `table` bytes named by the security directory.
TBytes Signed(TBytes saver, bool pe32plus, std::size_t table) {
    while (saver.size() % 8 != 0)
        saver.push_back(0);
    const std::size_t at = saver.size(), directory = 0x80 + 24 + (pe32plus ? 112 : 96) + 4 * 8;
    for (int i = 0; i < 4; ++i) {
        saver[directory + i] = static_cast<std::uint8_t>(at >> (8 * i));
        saver[directory + 4 + i] = static_cast<std::uint8_t>(table >> (8 * i));
    }
    saver.resize(at + table, 0x30);
    return saver;
}

TEST_F(PayloadTest, ASaverSignedAfterPackingFindsItsTrailerBeforeTheSignature) {
    for (bool pe32plus : {false, true}) {
        // Stubs of every length modulo 8: a signer adds from no to seven
        // bytes of alignment.
        for (std::size_t extra = 0; extra < 8; ++extra) {
            TSSFileLocations written(96);
            written.Title = "Signed";
            test::TSaverParts parts;
            parts.Stub = PeStub(pe32plus);
            parts.Stub.resize(parts.Stub.size() + extra, 0x11);
            parts.Pictures = {test::TestJpeg(40, 30)};
            parts.Sounds = {{"one.wav", test::AsBytes("RIFF one")}};
            const TBytes saver = test::BuildSaver(parts, written);
            const std::string path = dir_.File("signed.scr");
            test::WriteBytes(path, Signed(saver, pe32plus, 1000 + extra));

            TSSFileLocations record(96);
            TTempFolder temp(temp_.Path());
            ASSERT_EQ(LoadPayload(path, record, temp).Result, TLoadOutcome::Loaded) << extra;
            EXPECT_EQ(record.Title, "Signed");
            EXPECT_EQ(test::ReadBytes(temp.PathFor("one.wav")), parts.Sounds[0].second);
            EXPECT_EQ(ReadFirstPicture(path)->Picture.Info.Width, 40);
            RemoveExtractedFiles(record, temp);

            // Only a table that closes the file counts: bytes added behind
            // it, or a table the directory does not name, hide the trailer.
            TBytes appended = Signed(saver, pe32plus, 1000);
            appended.push_back(0);
            test::WriteBytes(path, appended);
            EXPECT_NE(LoadPayload(path, record, temp).Result, TLoadOutcome::Loaded);
            TBytes unnamed = saver;
            unnamed.resize(saver.size() + 1000, 0x30);
            test::WriteBytes(path, unnamed);
            EXPECT_NE(LoadPayload(path, record, temp).Result, TLoadOutcome::Loaded);
        }
    }
}

TEST_F(PayloadTest, NothingToExtractMakesNoFolder) {
    TSSFileLocations written(96);
    test::TSaverParts parts;
    std::string path = Saver(parts, written);
    TSSFileLocations record(96);
    TTempFolder temp(temp_.Path());
    EXPECT_EQ(LoadPayload(path, record, temp).Result, TLoadOutcome::Loaded);
    EXPECT_EQ(record.PicCount(), 0);
    RemoveExtractedFiles(record, temp);
    EXPECT_TRUE(fs::is_empty(temp_.Path()));
}

TEST_F(PayloadTest, StoredNamesAreReducedToTheirLastComponent) {
    TTempFolder temp(temp_.Path());
    std::string base = temp.Path() + kPathDelim;
    EXPECT_EQ(temp.PathFor("..\\..\\evil.dll"), base + "evil.dll");
    EXPECT_EQ(temp.PathFor("../../etc/passwd"), base + "passwd");
    EXPECT_EQ(temp.PathFor("C:boot.ini"), base + "boot.ini");
    EXPECT_EQ(temp.PathFor("a b.mp3"), base + "a b.mp3");
    for (const char* bad : {"", ".", "..", "dir/..", "c:\\"})
        EXPECT_EQ(test::ErrorOf([&] { temp.PathFor(bad); }).rfind("Cannot create file ", 0), 0u)
            << bad;

    TSSFileLocations written(96);
    test::TSaverParts parts;
    parts.Sounds = {{"../escape.wav", test::AsBytes("x")},
                    {"same.wav", test::AsBytes("first")},
                    {"same.wav", test::AsBytes("second")}};
    std::string path = Saver(parts, written);
    TSSFileLocations record(96);
    LoadPayload(path, record, temp);
    EXPECT_FALSE(fs::exists(fs::path(temp_.Path()) / "escape.wav"));
    EXPECT_EQ(test::ReadBytes(temp.PathFor("escape.wav")), test::AsBytes("x"));
    EXPECT_EQ(test::ReadBytes(temp.PathFor("same.wav")), test::AsBytes("second"));
    RemoveExtractedFiles(record, temp);
    EXPECT_TRUE(fs::is_empty(temp_.Path()));
}

TEST_F(PayloadTest, SizesAndOffsetsAreCheckedBeforeAnythingIsWritten) {
    struct {
        const char* offsets;
        const char* sizes;
        const char* error; // null: loads
        std::size_t expected_size;
    } cases[] = {
        {"30", "0", nullptr, 0}, // an empty file, not a copy of the whole saver
        {"30", "junk", nullptr, 0},
        {"30", "-1", "Stream read error", 0},
        {"-5", "3", "Stream read error", 0},
        {"30", "99999999", "Stream read error", 0},
        {"2147483647", "1", "Stream read error", 0},
    };
    for (const auto& c : cases) {
        TSSFileLocations written(96);
        test::TSaverParts parts;
        std::string path = Saver(parts, written);
        // Patch the lists after the fact: the record is rewritten at the end.
        written.SetCommaText(TSSFileLocations::SndList, c.offsets);
        written.SetCommaText(TSSFileLocations::SndFileNamesList, "s.wav");
        written.SetCommaText(TSSFileLocations::SndSizesList, c.sizes);
        test::WriteBytes(path, test::AppendRecord(test::ReadBytes(path), WriteComponent(written)));

        TSSFileLocations record(96);
        TTempFolder temp(temp_.Path());
        // A bad entry is passed over with its error; the load goes on.
        const TLoadOutcome outcome = LoadPayload(path, record, temp);
        if (c.error == nullptr) {
            EXPECT_TRUE(outcome.Skipped.empty()) << c.offsets << " " << c.sizes;
            EXPECT_EQ(fs::file_size(temp.PathFor("s.wav")), c.expected_size);
        } else {
            EXPECT_EQ(outcome.Skipped, std::vector<std::string>{c.error})
                << c.offsets << " " << c.sizes;
            EXPECT_FALSE(fs::exists(temp.PathFor("s.wav"))) << c.offsets << " " << c.sizes;
        }
        RemoveExtractedFiles(record, temp);
    }
}

TEST_F(PayloadTest, ShortListsAndBadTrailers) {
    TSSFileLocations written(96);
    test::TSaverParts parts;
    parts.Sounds = {{"a.wav", test::AsBytes("a")}, {"b.wav", test::AsBytes("b")}};
    written.Title = "kept";
    TBytes file = test::BuildSaver(parts, written);
    std::string path = dir_.File("s.scr");

    // A name list shorter than its offset list: the sound without a name is
    // passed over, the others are extracted.
    {
        TSSFileLocations shorter = written;
        shorter.SetCommaText(TSSFileLocations::SndFileNamesList, "a.wav");
        test::WriteBytes(path, test::AppendRecord(file, WriteComponent(shorter)));
        TSSFileLocations record(96);
        TTempFolder temp(temp_.Path());
        EXPECT_EQ(LoadPayload(path, record, temp).Skipped,
                  std::vector<std::string>{"Index is out of bounds"});
        EXPECT_TRUE(fs::exists(temp.PathFor("a.wav")));
        RemoveExtractedFiles(record, temp);
        EXPECT_TRUE(fs::is_empty(temp_.Path()));
    }
    // A trailer shorter than 40 bytes: the record keeps its defaults.
    {
        test::WriteBytes(path, test::AsBytes("tiny"));
        TSSFileLocations record(96);
        TTempFolder temp(temp_.Path());
        EXPECT_EQ(LoadPayload(path, record, temp).Result, TLoadOutcome::TrailerMissing);
        EXPECT_EQ(record.Title, "");
    }
    // A record offset that does not convert points at the image.
    {
        TBytes f = file;
        std::string bad = "abc" + std::string(17, ' ');
        std::copy(bad.begin(), bad.end(), f.end() - 20);
        test::WriteBytes(path, f);
        TSSFileLocations record(96);
        TTempFolder temp(temp_.Path());
        TLoadOutcome outcome = LoadPayload(path, record, temp);
        EXPECT_EQ(outcome.Result, TLoadOutcome::RecordUnreadable);
        EXPECT_EQ(outcome.Error, "Invalid stream format");
        EXPECT_EQ(record.SndCount(), 0);
    }
    // A record that fails halfway keeps what was read and still extracts.
    {
        TWriter w;
        w.WriteSignature();
        w.WriteObjectStart("TSSFileLocations", "");
        w.WriteString("SndCommaList", written.CommaText(TSSFileLocations::SndList));
        w.WriteString("SndFileNamesCommaList", "a.wav,b.wav");
        w.WriteString("SndSizesCommaList", "1,1");
        w.WriteString("Interval", "oops");
        w.WriteObjectEnd();
        test::WriteBytes(path, test::AppendRecord(file, w.Bytes()));
        TSSFileLocations record(96);
        TTempFolder temp(temp_.Path());
        TLoadOutcome outcome = LoadPayload(path, record, temp);
        EXPECT_EQ(outcome.Result, TLoadOutcome::RecordUnreadable);
        EXPECT_EQ(outcome.Error, "Error reading TSSFileLocations.Interval: Invalid property value");
        EXPECT_EQ(test::ReadBytes(temp.PathFor("b.wav")), test::AsBytes("b"));
        RemoveExtractedFiles(record, temp);
    }
}

TEST_F(PayloadTest, ASaverCutAtEveryByteNeverCrashesOrLeavesFiles) {
    TSSFileLocations written(96);
    test::TSaverParts parts;
    parts.Pictures = {test::TestJpeg(8, 8)};
    parts.Sounds = {{"a.wav", test::AsBytes("sound")}};
    TBytes file = test::BuildSaver(parts, written);
    std::string path = dir_.File("cut.scr");
    for (std::size_t n = 0; n <= file.size(); ++n) {
        test::WriteBytes(path, TBytes(file.begin(), file.begin() + static_cast<long>(n)));
        TSSFileLocations record(96);
        TTempFolder temp(temp_.Path());
        try {
            LoadPayload(path, record, temp);
            for (int i = 0; i < record.PicCount(); ++i)
                FetchPicture(path, record, i);
        } catch (const EError&) {
        }
        RemoveExtractedFiles(record, temp);
        ASSERT_TRUE(fs::is_empty(temp_.Path())) << "cut at " << n;
    }
}

TEST_F(PayloadTest, ItemsMayNotRepeatOrOverlapWhatElseThePayloadHolds) {
    // One sound stored once, listed a hundred times: copied once, the rest
    // refused, so a payload never writes more than its own length.
    TSSFileLocations written(96);
    test::TSaverParts parts;
    parts.Pictures = {test::TestJpeg(40, 30)};
    parts.Sounds = {{"song.wav", TBytes(100000, 7)}};
    std::string path = Saver(parts, written);
    const std::string sound_at = written.CommaText(TSSFileLocations::SndList);
    const std::string picture_at = written.CommaText(TSSFileLocations::PicList);
    std::string offsets, names, sizes;
    for (int i = 0; i < 100; ++i) {
        offsets += (i ? "," : "") + sound_at;
        names += (i ? "," : "") + std::string("s") + std::to_string(i) + ".wav";
        sizes += i ? ",100000" : "100000";
    }
    // Then the picture record's bytes, the record's, and a range half in the
    // sound, half in the picture.
    offsets += "," + picture_at + ",-1," + std::to_string(std::stoll(sound_at) - 10);
    names += ",picture.bin,record.bin,straddle.bin";
    sizes += ",50,20,20";
    written.SetCommaText(TSSFileLocations::SndList, offsets);
    written.SetCommaText(TSSFileLocations::SndFileNamesList, names);
    written.SetCommaText(TSSFileLocations::SndSizesList, sizes);
    TBytes file = test::AppendRecord(test::ReadBytes(path), WriteComponent(written));
    // The record's own offset, for the entry that points into it.
    const std::string record_at =
        std::to_string(file.size() - kTrailerSize - WriteComponent(written).size());
    written.SetCommaText(TSSFileLocations::SndList, offsets.substr(0, offsets.find(",-1,")) + "," +
                                                        record_at +
                                                        offsets.substr(offsets.find(",-1,") + 3));
    test::WriteBytes(path, test::AppendRecord(test::ReadBytes(path), WriteComponent(written)));

    TSSFileLocations record(96);
    TTempFolder temp(temp_.Path());
    const TLoadOutcome outcome = LoadPayload(path, record, temp);
    EXPECT_EQ(outcome.Result, TLoadOutcome::Loaded);
    EXPECT_EQ(outcome.Skipped.size(), 102u);
    EXPECT_EQ(outcome.Skipped.front(), "Stream read error");
    std::uintmax_t copied = 0;
    for (const auto& entry : fs::directory_iterator(temp.Path()))
        if (entry.path().filename() != std::string(kRunMarkerFile)) copied += entry.file_size();
    EXPECT_EQ(copied, 100000u);
    EXPECT_TRUE(fs::exists(temp.PathFor("s0.wav")));
    EXPECT_FALSE(fs::exists(temp.PathFor("s1.wav")));
    RemoveExtractedFiles(record, temp);
}

TEST_F(PayloadTest, AFileThatCannotBeWrittenEndsTheCopyingWithItsReason) {
    // A link where the first file goes: it is not followed, so the file
    // cannot be made, as on a full disk; the reason is the system's.
    TSSFileLocations written(96);
    test::TSaverParts parts;
    parts.Sounds = {{"a.wav", TBytes(70000, 1)}, {"b.wav", TBytes(10, 2)}};
    std::string path = Saver(parts, written);
    TSSFileLocations record(96);
    TTempFolder temp(temp_.Path());
    temp.Create();
    std::error_code error;
    fs::create_symlink(temp_.Path(), temp.PathFor("a.wav"), error);
    if (error) GTEST_SKIP() << "no links here";
    const TLoadOutcome outcome = LoadPayload(path, record, temp);
    ASSERT_EQ(outcome.Skipped.size(), 1u);
    EXPECT_EQ(outcome.Skipped[0].rfind("Cannot create file " + temp.PathFor("a.wav") + " (", 0), 0u)
        << outcome.Skipped[0];
    EXPECT_FALSE(fs::exists(temp.PathFor("b.wav"))) << "copying stops at a full disk";
    RemoveExtractedFiles(record, temp);
}

TEST_F(PayloadTest, LeftoverFoldersOfEndedRunsAreRemoved) {
    // A run that ended without cleaning up: its marked folder, under the
    // number of a process that no longer exists.
    std::string stale = JoinPath(temp_.Path(), "tevrin-99999999-1");
    {
        TTempFolder crashed(temp_.Path());
        crashed.Create();
        fs::rename(crashed.Path(), stale);
    }
    test::WriteBytes(JoinPath(stale, "left.wav"), test::AsBytes("x"));
    // Named alike but the user's: no marker, or a marker of another kind.
    std::string photos = JoinPath(temp_.Path(), "tevrin-99999998-photos");
    std::string forged = JoinPath(temp_.Path(), "tevrin-99999997-2");
    std::string other = JoinPath(temp_.Path(), "tevrin-notapid-1");
    for (const std::string& folder : {photos, forged, other})
        ASSERT_TRUE(MakePrivateDirectory(folder));
    test::WriteBytes(JoinPath(photos, "holiday.jpg"), test::AsBytes("mine"));
    test::WriteBytes(JoinPath(forged, std::string(kRunMarkerFile)), test::AsBytes("not ours\n"));
    TTempFolder mine(temp_.Path());
    mine.Create();
    TTempFolder::RemoveStale(temp_.Path());
    EXPECT_FALSE(fs::exists(stale));
    EXPECT_TRUE(fs::exists(JoinPath(photos, "holiday.jpg")));
    EXPECT_TRUE(fs::exists(forged));
    EXPECT_TRUE(fs::exists(other));
    EXPECT_TRUE(fs::exists(mine.Path()));
    mine.Remove();
    EXPECT_FALSE(fs::exists(mine.Path()));
}

} // namespace
} // namespace tevrin
