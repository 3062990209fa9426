// SPDX-License-Identifier: MIT
#include "base/Errors.h"
#include "base/System.h"
#include "base/Unicode.h"
#include "gfx/Png.h"
#include "payload/Payload.h"
#include "tests/TestSupport.h"
#include "tools/Pack.h"
#include "tools/PackCommand.h"
#include "tools/Report.h"
#include "tools/XScreensaverConfig.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace tevrin {
namespace {

namespace fs = std::filesystem;

class PackTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::WriteBytes(dir_.File("stub.exe"), test::AsBytes("MZ stub image"));
        test::WriteBytes(dir_.File("wide.jpg"), test::TestJpeg(64, 36));
        test::WriteBytes(dir_.File("tall.jpg"), test::TestJpeg(36, 64));
        test::WriteBytes(dir_.File("song one.wav"), test::AsBytes("RIFF...."));
        job_.Stub = dir_.File("stub.exe");
        job_.Output = dir_.File("out.scr");
        job_.Pictures = {dir_.File("wide.jpg"), dir_.File("tall.jpg")};
        job_.Sounds = {dir_.File("song one.wav")};
        job_.Record.Title = "Sea";
        job_.Record.Text = "Caption";
        job_.Record.Interval = 4000;
        job_.Record.SoundRandom = 1;
        job_.Record.Ver = "photo";
        job_.Record.TextFont.SetSize(24);
    }

    test::TScratchDir dir_;
    TPackJob job_;
};

TEST_F(PackTest, APackedSaverLoadsAndInspects) {
    std::vector<std::string> progress;
    PackSaver(job_, [&](int done, int total, const std::string& what) {
        progress.push_back(std::to_string(done) + "/" + std::to_string(total) + " " + what);
    });
    EXPECT_EQ(progress.size(), 3u);
    EXPECT_EQ(progress.front(), "0/3 " + dir_.File("wide.jpg"));

    test::TBytes file = test::ReadBytes(job_.Output);
    EXPECT_EQ(std::string(file.begin(), file.begin() + 13), "MZ stub image");
    // The first picture record follows the image, where the trailer says.
    nlohmann::ordered_json saver = InspectSaver(job_.Output);
    EXPECT_EQ(saver["PayloadStart"], 13);
    auto record_at = saver["Trailer"]["RecordOffset"].get<std::size_t>();
    EXPECT_EQ(std::string(file.begin() + record_at, file.begin() + record_at + 4), "TPF0");
    const nlohmann::ordered_json& record = saver["Record"];
    EXPECT_EQ(record["Class"], "TSSFileLocations");
    EXPECT_EQ(record["Title"], "Sea");
    EXPECT_EQ(record["Interval"], 4000);
    EXPECT_EQ(record["TextFont"]["Size"], 24);
    EXPECT_EQ(record["TextFont"]["Color"], "clWindowText");
    EXPECT_EQ(record["SndFileNamesCommaList"], nlohmann::ordered_json::array({"song one.wav"}));
    EXPECT_EQ(record["PicFileNamesCommaList"],
              nlohmann::ordered_json::array({"wide.jpg", "tall.jpg"}));
    ASSERT_EQ(saver["Items"].size(), 3u);
    const nlohmann::ordered_json& tall = saver["Items"][1]["Record"];
    EXPECT_EQ(tall["Width"], 36); // the record's own size, stored for the image control
    EXPECT_EQ(tall["Height"], 64);
    EXPECT_EQ(tall["Picture"]["Class"], "TJPEGImage");
    EXPECT_EQ(tall["Picture"]["Width"], 36);
    EXPECT_EQ(tall["Picture"]["Height"], 64);
    EXPECT_EQ(tall["Picture"]["DataLength"], fs::file_size(dir_.File("tall.jpg")));
    EXPECT_EQ(tall["Picture"]["DataSha256"].get<std::string>().size(), 64u);
    EXPECT_EQ(saver["Items"][2]["Size"], 8);
    EXPECT_NE(SaverReport(saver).find("song one.wav"), std::string::npos);

    // The runtime reads what the tool wrote.
    TSSFileLocations loaded(96);
    test::TScratchDir temp;
    TTempFolder folder(temp.Path());
    EXPECT_EQ(LoadPayload(job_.Output, loaded, folder).Result, TLoadOutcome::Loaded);
    EXPECT_EQ(test::ReadBytes(folder.PathFor("song one.wav")), test::AsBytes("RIFF...."));
    RemoveExtractedFiles(loaded, folder);
}

TEST_F(PackTest, PngPicturesAreStoredAsJpeg) {
    WritePng(dir_.File("drawn.png"), test::TestPicture(50, 70));
    job_.Pictures = {dir_.File("drawn.png")};
    PackSaver(job_);
    nlohmann::ordered_json item = InspectSaver(job_.Output)["Items"][0];
    EXPECT_EQ(item["Name"], "drawn.png");
    EXPECT_EQ(item["Record"]["Picture"]["Class"], "TJPEGImage");
    EXPECT_EQ(item["Record"]["Picture"]["Width"], 50);
    EXPECT_EQ(item["Record"]["Picture"]["Height"], 70);
    EXPECT_EQ(item["Record"]["Width"], 50);
}

TEST_F(PackTest, TheSameShaIsReportedForTheSameJpeg) {
    job_.Pictures = {dir_.File("wide.jpg"), dir_.File("wide.jpg"), dir_.File("tall.jpg")};
    PackSaver(job_);
    nlohmann::ordered_json items = InspectSaver(job_.Output)["Items"];
    auto sha = [&](int i) { return items[i]["Record"]["Picture"]["DataSha256"]; };
    EXPECT_EQ(sha(0), sha(1));
    EXPECT_NE(sha(0), sha(2));
}

TEST_F(PackTest, AFailedPackLeavesTheOldOutputAndNoPartialFile) {
    test::WriteBytes(job_.Output, test::AsBytes("previous saver"));
    test::WriteBytes(dir_.File("bad.jpg"), test::AsBytes("\xFF\xD8 not really"));
    std::vector<TPackJob> failing(3, job_);
    failing[0].Pictures.push_back(dir_.File("bad.jpg"));
    failing[1].Sounds.push_back(dir_.File("song one.wav")); // two files of one name
    failing[2].Pictures.push_back(dir_.File("missing.jpg"));
    for (TPackJob& job : failing) {
        EXPECT_THROW(PackSaver(job), EError);
        EXPECT_EQ(test::ReadBytes(job_.Output), test::AsBytes("previous saver"));
        for (const auto& entry : fs::directory_iterator(dir_.Path()))
            EXPECT_NE(entry.path().extension(), ".part") << "left behind: " << entry.path();
    }
}

TEST_F(PackTest, TheOutputMayNotBeAnInputOrAFolderAndNoOtherFileIsTouched) {
    const test::TBytes picture = test::ReadBytes(dir_.File("wide.jpg"));
    const test::TBytes stub = test::ReadBytes(dir_.File("stub.exe"));
    std::error_code error;
    fs::create_symlink(dir_.File("stub.exe"), dir_.File("stub-link.exe"), error);
    struct {
        std::string output, error;
    } cases[] = {
        {dir_.File("wide.jpg"), "The output " + dir_.File("wide.jpg") + " is " +
                                    dir_.File("wide.jpg") + ", which the saver is made from"},
        {dir_.File("song one.wav"), "The output " + dir_.File("song one.wav") + " is " +
                                        dir_.File("song one.wav") +
                                        ", which the saver is made from"},
        {dir_.Path(), "The output is a folder: " + dir_.Path()},
    };
    for (const auto& c : cases) {
        TPackJob job = job_;
        job.Output = c.output;
        EXPECT_EQ(test::ErrorOf([&] { PackSaver(job); }), c.error);
    }
    if (!error) {
        TPackJob job = job_;
        job.Output = dir_.File("stub-link.exe");
        EXPECT_NE(test::ErrorOf([&] { PackSaver(job); }).find("which the saver is made from"),
                  std::string::npos);
    }
    EXPECT_EQ(test::ReadBytes(dir_.File("wide.jpg")), picture);
    EXPECT_EQ(test::ReadBytes(dir_.File("stub.exe")), stub);
    // A file of the user's named like a half-written saver is left alone.
    test::WriteBytes(job_.Output + ".part", test::AsBytes("my notes"));
    PackSaver(job_);
    EXPECT_EQ(test::ReadBytes(job_.Output + ".part"), test::AsBytes("my notes"));
    int files = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir_.Path()))
        ++files;
    EXPECT_EQ(files, error ? 6 : 7)
        << "stub, two pictures, the sound, the notes, the saver (and the link)";
}

TEST_F(PackTest, InspectReadsAPictureNamedManyTimesOnce) {
    // A crafted record naming one picture a hundred thousand times: each
    // distinct picture is read once, so this takes a moment, not minutes.
    PackSaver(job_);
    TSSFileLocations record(96);
    test::TScratchDir temp;
    TTempFolder folder(temp.Path());
    LoadPayload(job_.Output, record, folder);
    RemoveExtractedFiles(record, folder);
    const std::string first = record.List(TSSFileLocations::PicList).front();
    record.List(TSSFileLocations::PicList).assign(100000, first);
    test::WriteBytes(job_.Output,
                     test::AppendRecord(test::ReadBytes(job_.Output), WriteComponent(record)));
    const nlohmann::ordered_json saver = InspectSaver(job_.Output);
    ASSERT_EQ(saver["Items"].size(), 100001u);
    EXPECT_EQ(saver["Items"][99999]["Record"]["Picture"]["Width"], 64);
}

TEST_F(PackTest, InspectReadsBareStreamsOfEitherClass) {
    TImage image;
    image.Picture.JpegData = test::ReadBytes(dir_.File("tall.jpg"));
    test::WriteBytes(dir_.File("pic.bin"), WriteComponent(image));
    nlohmann::ordered_json picture = InspectStream(dir_.File("pic.bin"));
    EXPECT_EQ(picture["Class"], "TImage");
    EXPECT_EQ(picture["Picture"]["Height"], 64);
    test::WriteBytes(dir_.File("rec.bin"), WriteComponent(job_.Record));
    nlohmann::ordered_json record = InspectStream(dir_.File("rec.bin"));
    EXPECT_EQ(record["Text"], "Caption");
    EXPECT_NE(StreamReport(record).find("TextFont.Size"), std::string::npos);
    test::WriteBytes(dir_.File("junk.bin"), test::AsBytes("junk"));
    EXPECT_THROW(InspectStream(dir_.File("junk.bin")), EError);
}

// The record a pack makes of the command line `args`, and of `manifest`.
test::TBytes RecordFromCommandLine(std::vector<std::string> args) {
    CLI::App app;
    TPackArgs a;
    AddPackOptions(app, a);
    args.insert(args.end(), {"-o", "unused"});
    std::reverse(args.begin(), args.end());
    app.parse(args);
    return WriteComponent(PackJobOf(PackValuesOf(a), false).Record);
}

test::TBytes RecordFromManifest(const nlohmann::json& manifest) {
    return WriteComponent(PackJobOf(ReadManifest(manifest, "."), false).Record);
}

TEST(PackChoices, TheCommandLineAndAManifestMakeTheSameRecord) {
    const std::vector<std::pair<std::vector<std::string>, nlohmann::json>> cases = {
        {{}, nlohmann::json::object()},
        {{"--title", "Sea ☀", "--text", "Hello", "--font-size", "30", "--font-color", "clRed",
          "--font-style", "bold,italic", "--interval", "2500", "--transition-ms", "2000"},
         {{"title", "Sea ☀"},
          {"text", "Hello"},
          {"font-size", 30},
          {"font-color", "#FF0000"},
          {"font-style", "bold,italic"},
          {"interval", 2500},
          {"transition-ms", 2000}}},
        {{"--shuffle", "--no-caption-shadow", "--fit", "fill", "--screens", "mirror", "--styles",
          "51,3", "--styles", "118", "--sound-order", "random", "--kind", "flash", "--mute"},
         {{"shuffle", true},
          {"caption-shadow", false},
          {"fit", "fill"},
          {"screens", "mirror"},
          {"styles", {51, 3, 118}},
          {"sound-order", "random"},
          {"kind", "flash"},
          {"mute", true}}},
        // Folders as the running machine names them, kept whole.
        {{"--folder", "~/Pictures", "--folder", "%USERPROFILE%\\Photos, 2024", "--recursive"},
         {{"folder", {"~/Pictures", "%USERPROFILE%\\Photos, 2024"}}, {"recursive", true}}},
        // A folder saver keeps its caption template for the pictures it
        // finds.
        {{"--folder", "~/Pictures", "--caption", "{title} {date}", "--date-format", "%Y"},
         {{"folder", {"~/Pictures"}}, {"caption", "{title} {date}"}, {"date-format", "%Y"}}},
    };
    for (const auto& [args, manifest] : cases)
        EXPECT_EQ(RecordFromCommandLine(args), RecordFromManifest(manifest)) << manifest.dump();
    // Written only where given: a classic record has neither.
    auto has = [](const test::TBytes& record, std::string_view name) {
        return std::search(record.begin(), record.end(), name.begin(), name.end()) != record.end();
    };
    EXPECT_FALSE(has(RecordFromCommandLine({}), "PictureFolders"));
    EXPECT_FALSE(has(RecordFromCommandLine({}), "lRecursive"));
    const std::vector<std::string> folders = cases[cases.size() - 2].first;
    EXPECT_TRUE(has(RecordFromCommandLine(folders), "PictureFolders"));
    EXPECT_TRUE(has(RecordFromCommandLine(folders), "lRecursive"));
    const test::TBytes templated = RecordFromCommandLine(cases.back().first);
    EXPECT_TRUE(has(templated, "CaptionTemplate"));
    EXPECT_TRUE(has(templated, "{title} {date}"));
    EXPECT_TRUE(has(templated, "CaptionDateFormat"));
    // Without folders the pack resolves the template itself.
    EXPECT_FALSE(has(RecordFromCommandLine({"--caption", "{file}"}), "CaptionTemplate"));
    // Every choice has a kind's checks: a wrong value is refused by name,
    // from either.
    EXPECT_EQ(test::ErrorOf([] {
                  RecordFromManifest({{"quality", 0}});
              }),
              "The manifest in .: \"quality\" must be a whole number from 1 to 100");
    EXPECT_EQ(test::ErrorOf([] {
                  RecordFromCommandLine({"--interval", "-5"});
              }),
              "--interval must be a whole number from 0 to 86400000");
    // A manifest names no other manifest.
    EXPECT_EQ(test::ErrorOf([] {
                  RecordFromManifest({{"manifest", "x.json"}});
              }),
              "The manifest in .: unknown key \"manifest\" (a key starting with _ or named "
              "comment is ignored)");
}

TEST(XScreensaverConfig, NamesTheProgramAndEscapesTheTexts) {
    TSSFileLocations record(96);
    record.Title = "Sea & <Sky>";
    record.Author = "Ann \"A\" Lee";
    record.Web = "https://example.com/?a=1&b=2";
    const std::string xml = XScreensaverConfig(record, 6, "sea-saver");
    EXPECT_NE(xml.find("<screensaver name=\"sea-saver\" _label=\"Sea &amp; &lt;Sky&gt;\">"),
              std::string::npos)
        << xml;
    EXPECT_NE(xml.find("<command arg=\"--root\"/>"), std::string::npos);
    EXPECT_NE(xml.find("of 6 pictures"), std::string::npos);
    EXPECT_NE(xml.find("Ann &quot;A&quot; Lee"), std::string::npos);
    EXPECT_NE(xml.find("?a=1&amp;b=2"), std::string::npos);
    EXPECT_EQ(xml.find("Sea & "), std::string::npos);
    EXPECT_EQ(xml.rfind("</screensaver>\n"), xml.size() - 15);
    // Without a title the program's name is the label.
    EXPECT_NE(XScreensaverConfig(TSSFileLocations(96), 0, "x").find("_label=\"x\""),
              std::string::npos);
    // Texts in any language go in as UTF-8; controls XML forbids stay out.
    record.Title = "\u039C\u03AC\u03C1\u03C9 \u65E5\u672C\x01\x1B[2J";
    const std::string unicode = XScreensaverConfig(record, 1, "m");
    EXPECT_NE(unicode.find("encoding=\"UTF-8\""), std::string::npos);
    EXPECT_NE(unicode.find("_label=\"\u039C\u03AC\u03C1\u03C9 \u65E5\u672C[2J\""),
              std::string::npos)
        << unicode;
}

TEST(Inspect, RecordsWithEveryByteGiveValidUtf8) {
    // A classic writer stores ANSI bytes; every one of them must come out
    // as valid UTF-8 text in the JSON and in the report.
    std::string every;
    for (int b = 1; b < 256; ++b)
        every.push_back(static_cast<char>(b));
    TSSFileLocations record(96);
    TWriter w;
    w.WriteSignature();
    w.WriteObjectStart("TSSFileLocations", "");
    w.WriteShortString("Title");
    w.WriteByte(static_cast<std::uint8_t>(TValueTag::String));
    w.WriteShortString(every);
    w.WriteShortString("Text");
    w.WriteByte(static_cast<std::uint8_t>(TValueTag::LString));
    w.WriteUInt32(static_cast<std::uint32_t>(every.size()));
    w.WriteBytes(every.data(), every.size());
    w.WriteObjectEnd();
    test::TScratchDir dir;
    test::WriteBytes(dir.File("record.bin"), w.Take());
    const nlohmann::ordered_json json = InspectStream(dir.File("record.bin"));
    const std::string dumped = json.dump(2); // throws on invalid UTF-8
    const nlohmann::ordered_json back = nlohmann::ordered_json::parse(dumped);
    EXPECT_EQ(back["Title"], AnsiToUtf8(every));
    EXPECT_EQ(back["Text"], back["Title"]);
    if (AnsiCodePage() == 1252) {
        EXPECT_EQ(back["Title"].get<std::string>().size(), every.size() + 145)
            << "Windows-1252: 111 characters of two bytes, 17 of three";
    }
    const std::string report = StreamReport(json);
    EXPECT_TRUE(IsValidUtf8(report));
    // Controls are shown, not sent to the terminal.
    EXPECT_EQ(report.find('\x1B'), std::string::npos);
    EXPECT_NE(report.find("\\x1B"), std::string::npos);
}

TEST(XScreensaverConfig, LiesBesideTheSaver) {
    EXPECT_EQ(XScreensaverConfigPath("out/sea-saver"), "out/sea-saver.xml");
    EXPECT_EQ(XScreensaverConfigPath("out/Sea.scr"), "out/Sea.xml");
    EXPECT_EQ(XScreensaverConfigPath("out.d/sea"), "out.d/sea.xml");
    EXPECT_EQ(XScreensaverConfigPath(".sea"), ".sea.xml");
}

} // namespace
} // namespace tevrin
