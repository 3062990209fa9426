// SPDX-License-Identifier: MIT
// The Studio's server, through real requests on a loopback port: what the
// page asks of it, and what it refuses to anyone else.
#include "base/Errors.h"
#include "gfx/DecodeBudget.h"
#include "gfx/Jpeg.h"
#include "gfx/PictureFile.h"
#include "tests/TestSupport.h"
#include "tools/Report.h"
#include "tools/studio/Project.h"
#include "tools/studio/Server.h"
#include "tools/studio/Session.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <httplib.h>
#include <nlohmann/json.hpp>
#include <thread>

namespace tevrin {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

constexpr std::size_t kTestUploadLimit = 256 * 1024;

std::string Encoded(const std::string& text) {
    std::string out;
    char code[4];
    for (unsigned char c : text) {
        if (std::isalnum(c) || c == '.' || c == '-' || c == '_') {
            out += static_cast<char>(c);
        } else {
            std::snprintf(code, sizeof code, "%%%02X", c);
            out += code;
        }
    }
    return out;
}

class StudioTest : public ::testing::Test {
protected:
    void SetUp() override { Open(); }

    void Open() {
        server_.reset();
        studio::TStudioOptions options;
        options.Manifest = studio::ProjectManifestPath(dir_.File("project"));
        options.MaxUpload = kTestUploadLimit;
        options.SessionFolder = sessions_.File("studio");
        server_ = std::make_unique<studio::TStudioServer>(options);
        server_->Start();
        client_ = std::make_unique<httplib::Client>("127.0.0.1", server_->Port());
        client_->set_read_timeout(120, 0);
        base_ = "/s/" + server_->Token() + "/";
    }

    httplib::Result Get(const std::string& path, const httplib::Headers& headers = {}) {
        return client_->Get((base_ + path).c_str(), headers);
    }
    httplib::Result Upload(const std::string& kind, const std::string& name,
                           const test::TBytes& bytes) {
        return client_->Post((base_ + "api/" + kind + "?name=" + Encoded(name)).c_str(),
                             std::string(bytes.begin(), bytes.end()), "application/octet-stream");
    }
    httplib::Result Put(const std::string& path, const json& body) {
        return client_->Put((base_ + path).c_str(), body.dump(), "application/json");
    }
    json Project() { return json::parse(Get("api/project")->body); }
    // Builds for `target` and waits for the end: the build's last state.
    json Build(const std::string& target) {
        const auto started = client_->Post((base_ + "api/build").c_str(),
                                           json{{"targets", {target}}}.dump(), "application/json");
        if (started->status != 200) return json::parse(started->body);
        json state;
        for (int i = 0; i < 600; ++i) {
            state = json::parse(Get("api/build")->body);
            if (!state["running"].get<bool>()) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return state;
    }
    static std::string ErrorOf(const httplib::Result& result) {
        return json::parse(result->body).value("error", "");
    }
    std::vector<std::string> PictureNames() {
        std::vector<std::string> names;
        const json project = Project();
        for (const json& picture : project["pictures"])
            names.push_back(picture["name"]);
        return names;
    }

    test::TScratchDir dir_, sessions_;
    std::unique_ptr<studio::TStudioServer> server_;
    std::unique_ptr<httplib::Client> client_;
    std::string base_;
};

TEST_F(StudioTest, ThePageAndTheProjectAreServedAndAnEmptyProjectIsSavedWithDefaults) {
    const auto page = Get("");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    EXPECT_NE(page->body.find("<title>Tevrin Studio</title>"), std::string::npos);
    EXPECT_NE(page->get_header_value("Content-Security-Policy").find("default-src 'self'"),
              std::string::npos);
    EXPECT_EQ(Get("studio.js")->get_header_value("Content-Type"), "text/javascript; charset=utf-8");
    EXPECT_EQ(Get("studio.css")->status, 200);
    EXPECT_EQ(Get("nothing.js")->status, 404);
    // Without the closing slash the page's relative addresses would miss
    // the token: it is sent there.
    const auto bare = client_->Get(("/s/" + server_->Token()).c_str());
    EXPECT_EQ(bare->status, 302);

    const json project = Project();
    EXPECT_EQ(project["styles"].size(), 128u);
    EXPECT_EQ(project["styles"][51]["number"], 51);
    EXPECT_EQ(project["settings"]["fit"], "shrink");
    EXPECT_TRUE(project["pictures"].empty());
    EXPECT_TRUE(fs::exists(dir_.File("project/project.json")));
}

TEST_F(StudioTest, RequestsWithoutTheTokenFromOtherSitesOrForOtherHostsAreRefused) {
    const std::string own = "http://127.0.0.1:" + std::to_string(server_->Port());
    struct TCase {
        std::string path;
        httplib::Headers headers;
        std::string refusal;
    };
    const std::vector<TCase> cases = {
        {"/api/project", {}, "token"},
        {"/s/api/project", {}, "token"},
        {"/s/" + std::string(32, '0') + "/api/project", {}, "token"},
        {"/s/" + server_->Token() + "x/api/project", {}, "token"},
        {"/s/" + server_->Token().substr(0, 31) + "/api/project", {}, "token"},
        {base_ + "api/project", {{"Origin", "http://evil.example"}}, "other sites"},
        {base_ + "api/project", {{"Origin", "null"}}, "other sites"},
        {base_ + "api/project", {{"Origin", own + ".evil.example"}}, "other sites"},
        {base_ + "api/project", {{"Sec-Fetch-Site", "cross-site"}}, "other sites"},
        // A name that resolves here by DNS rebinding is no name of ours.
        {base_ + "api/project",
         {{"Host", "rebound.example:" + std::to_string(server_->Port())}},
         "answers only"},
    };
    for (const TCase& c : cases) {
        const auto result = client_->Get(c.path.c_str(), c.headers);
        ASSERT_TRUE(result) << c.path;
        EXPECT_EQ(result->status, 403) << c.path;
        EXPECT_NE(ErrorOf(result).find(c.refusal), std::string::npos) << c.path;
    }
    // Changes are refused the same way, before the body is read.
    const auto upload =
        client_->Post("/s/wrong/api/pictures?name=a.jpg", "xx", "application/octet-stream");
    EXPECT_EQ(upload->status, 403);
    EXPECT_FALSE(fs::exists(dir_.File("project/pictures")));
    // The page's own origin, by either name, is welcome.
    EXPECT_EQ(Get("api/project", {{"Origin", own}})->status, 200);
    EXPECT_EQ(Get("api/project", {{"Origin", "http://localhost:" + std::to_string(server_->Port())},
                                  {"Host", "localhost:" + std::to_string(server_->Port())}})
                  ->status,
              200);
}

TEST_F(StudioTest, PicturesAreStoredInTheProjectOrderedRemovedAndKeptAcrossSessions) {
    EXPECT_EQ(Upload("pictures", "b 2.jpg", test::TestJpeg(64, 48))->status, 200);
    EXPECT_EQ(Upload("pictures", "a.jpg", test::TestJpeg(48, 64))->status, 200);
    // The same name with other content gets a name of its own; the same
    // content is named and refused, and listed again without a second file
    // only when asked for.
    const auto other = Upload("pictures", "a.jpg", test::TestJpeg(32, 32));
    EXPECT_EQ(json::parse(other->body)["file"], "pictures/a (2).jpg");
    const auto twice = Upload("pictures", "copy of a.jpg", test::TestJpeg(48, 64));
    EXPECT_EQ(twice->status, 409);
    EXPECT_EQ(ErrorOf(twice), "copy of a.jpg is in the project already, as picture 2 (a.jpg)");
    EXPECT_EQ(PictureNames().size(), 3u);
    const auto again = client_->Post((base_ + "api/pictures?name=a.jpg&again=1").c_str(),
                                     [] {
                                         const test::TBytes b = test::TestJpeg(48, 64);
                                         return std::string(b.begin(), b.end());
                                     }(),
                                     "application/octet-stream");
    EXPECT_EQ(json::parse(again->body)["file"], "pictures/a.jpg");
    EXPECT_EQ(PictureNames(), (std::vector<std::string>{"b 2.jpg", "a.jpg", "a (2).jpg", "a.jpg"}));
    json pictures = Project()["pictures"];
    EXPECT_EQ(pictures[0]["width"], 64);
    EXPECT_EQ(pictures[0]["format"], "JPEG");

    std::vector<std::string> ids;
    for (const json& p : pictures)
        ids.push_back(p["id"]);
    EXPECT_EQ(Put("api/order", {{"pictures", {ids[2], ids[0], ids[1], ids[3]}}})->status, 200);
    // Removed and put back where it was, once; then removed for good.
    EXPECT_EQ(client_->Delete((base_ + "api/items/" + ids[0]).c_str())->status, 200);
    EXPECT_EQ(PictureNames(), (std::vector<std::string>{"a (2).jpg", "a.jpg", "a.jpg"}));
    const auto restore = "api/items/" + ids[0] + "/restore";
    EXPECT_EQ(client_->Post((base_ + restore).c_str(), "", "text/plain")->status, 200);
    EXPECT_EQ(client_->Post((base_ + restore).c_str(), "", "text/plain")->status, 404);
    EXPECT_EQ(PictureNames(), (std::vector<std::string>{"a (2).jpg", "b 2.jpg", "a.jpg", "a.jpg"}));
    EXPECT_EQ(client_->Delete((base_ + "api/items/" + ids[3]).c_str())->status, 200);
    EXPECT_EQ(client_->Delete((base_ + "api/items/" + ids[3]).c_str())->status, 404);
    // An order that leaves one out, or names one twice, is refused.
    EXPECT_EQ(Put("api/order", {{"pictures", {ids[0], ids[1]}}})->status, 400);
    EXPECT_EQ(Put("api/order", {{"pictures", {ids[0], ids[0], ids[1]}}})->status, 400);
    const std::vector<std::string> order = {"a (2).jpg", "b 2.jpg", "a.jpg"};
    EXPECT_EQ(PictureNames(), order);

    const json manifest = json::parse(test::ReadBytes(dir_.File("project/project.json")));
    EXPECT_EQ(manifest["pictures"],
              json({"pictures/a (2).jpg", "pictures/b 2.jpg", "pictures/a.jpg"}));
    Open();
    EXPECT_EQ(PictureNames(), order);
}

TEST_F(StudioTest, UploadsThatAreTooLargeNoPictureOrNamedToEscapeAreRefusedAndNothingIsWritten) {
    const auto large = Upload("pictures", "big.jpg", test::TBytes(kTestUploadLimit + 1, 0xFF));
    EXPECT_EQ(large->status, 413);
    EXPECT_NE(ErrorOf(large).find("larger than the 256 KB one upload may have"), std::string::npos);

    const auto junk = Upload("pictures", "notes.jpg", test::AsBytes("hello"));
    EXPECT_EQ(junk->status, 400);
    EXPECT_EQ(ErrorOf(junk),
              "Cannot read picture notes.jpg: not a JPEG, PNG, WebP or HEIC picture this build "
              "reads");
    test::TBytes cut = test::TestJpeg(200, 150);
    cut.resize(cut.size() / 2);
    const auto truncated = Upload("pictures", "cut.jpg", cut);
    EXPECT_EQ(truncated->status, 400);
    EXPECT_EQ(ErrorOf(truncated).rfind("Cannot read picture cut.jpg: ", 0), 0u)
        << ErrorOf(truncated);

    for (const std::string name : {"../escape.jpg", "..", "sub/a.jpg", "sub\\a.jpg", "/tmp/abs.jpg",
                                   "C:\\abs.jpg", "C:abs.jpg", "CON", "con.jpg", "LPT1.jpeg",
                                   "nul .jpg", "a.jpg.", " a.jpg", "", "a\nb.jpg", "a*.jpg"}) {
        const auto refused = Upload("pictures", name, test::TestJpeg(16, 16));
        EXPECT_EQ(refused->status, 400) << name;
        EXPECT_EQ(ErrorOf(refused).rfind("Not a file name the project can store", 0), 0u)
            << name << ": " << ErrorOf(refused);
    }
    EXPECT_TRUE(PictureNames().empty());
    // Nothing but the manifest was written, inside the folder or beside it.
    std::vector<std::string> written;
    for (const auto& entry : fs::recursive_directory_iterator(dir_.Path()))
        written.push_back(fs::relative(entry.path(), dir_.Path()).generic_string());
    std::sort(written.begin(), written.end());
    EXPECT_EQ(written, (std::vector<std::string>{"project", "project/.tevrin-studio.lock",
                                                 "project/project.json"}));
}

TEST_F(StudioTest, SettingsAreCheckedAndSavedAsThePackManifest) {
    const auto good = Put("api/settings", {{"title", "Sea ☀"},
                                           {"text", "Grüße · こんにちは"},
                                           {"font-color", "#FF8000"},
                                           {"interval", 2500},
                                           {"random-style", true},
                                           {"fit", "fill"},
                                           {"styles", {77, 12}}});
    ASSERT_EQ(good->status, 200) << good->body;
    const std::vector<std::pair<json, std::string>> bad = {
        {{{"fit", "stretch"}}, "The setting fit is none of the choices"},
        {{{"interval", -1}}, "The setting interval must be a whole number from 0"},
        {{{"interval", "5"}}, "The setting interval must be a whole number from 0"},
        {{{"font-color", "red"}}, "The setting font-color must be a colour #RRGGBB"},
        {{{"styles", {128}}}, "The setting styles may only hold style numbers from 0 to 127"},
        {{{"title", 5}}, "The setting title must be text"},
        {{{"title", std::string(5000, 'x')}}, "The setting title is too long"},
        {{{"mute", 1}}, "The setting mute must be true or false"},
        {{{"stub", "/bin/sh"}}, "Unknown setting: stub"},
        {{{"output", "/etc/passwd"}}, "Unknown setting: output"},
    };
    for (const auto& [settings, message] : bad) {
        const auto refused = Put("api/settings", settings);
        EXPECT_EQ(refused->status, 400) << settings.dump();
        EXPECT_EQ(ErrorOf(refused).rfind(message, 0), 0u) << ErrorOf(refused);
        // The page shows the refusal at the field it names.
        EXPECT_EQ(json::parse(refused->body)["field"], settings.items().begin().key());
    }
    EXPECT_EQ(
        client_->Put((base_ + "api/settings").c_str(), "{not json", "application/json")->status,
        400);
    // The refused ones changed nothing.
    const json manifest = json::parse(test::ReadBytes(dir_.File("project/project.json")));
    EXPECT_EQ(manifest["fit"], "fill");
    EXPECT_EQ(manifest["interval"], 2500);
    EXPECT_EQ(manifest["styles"], json({77, 12}));
    EXPECT_EQ(manifest["text"], "Grüße · こんにちは");
    EXPECT_FALSE(manifest.contains("stub"));
}

TEST_F(StudioTest, FramesOfTransitionsAndOfTheShowComeFromTheEngine) {
    // Without pictures our own pair stands in.
    const auto stand_in = Get("api/transition?style=51&w=64&h=36&frames=5");
    ASSERT_EQ(stand_in->status, 200) << stand_in->body;
    EXPECT_EQ(stand_in->get_header_value("Content-Type"), "image/jpeg");
    EXPECT_EQ(Get("api/show")->status, 400);

    Upload("pictures", "one.jpg", test::TestJpeg(64, 48));
    Upload("pictures", "two.jpg", test::TestJpeg(48, 64));
    const json pictures = Project()["pictures"];
    const std::string one = pictures[0]["id"], two = pictures[1]["id"];

    const auto thumb = Get("api/pictures/" + one + "/thumb?side=32");
    ASSERT_EQ(thumb->status, 200);
    EXPECT_EQ(thumb->body.substr(0, 2), "\xFF\xD8");
    EXPECT_EQ(Get("api/pictures/p999/thumb")->status, 400);

    // A strip holds the frames one under another; the last frame is the
    // new picture whole, as the engine's last frame of any style is.
    const auto strip = Get("api/transition?style=3&w=64&h=36&frames=4&from=" + one + "&to=" + two);
    ASSERT_EQ(strip->status, 200) << strip->body;
    const TBitmap24 frames = DecodeUpright(
        std::span(reinterpret_cast<const std::uint8_t*>(strip->body.data()), strip->body.size()));
    EXPECT_EQ(frames.Width(), 64);
    EXPECT_EQ(frames.Height(), 4 * 36);
    const auto last =
        Get("api/frame?style=3&progress=100&w=64&h=36&format=png&from=" + one + "&to=" + two);
    ASSERT_EQ(last->status, 200);
    EXPECT_EQ(last->get_header_value("Content-Type"), "image/png");
    const TBitmap24 whole = DecodeUpright(
        std::span(reinterpret_cast<const std::uint8_t*>(last->body.data()), last->body.size()));
    // (Compared as the means of 8 x 9 blocks away from the frame's edges,
    // where the strip's JPEG blocks reach into the frame before.)
    auto block_mean = [](const TBitmap24& bitmap, int left, int top) {
        test::TBgr sum{0, 0, 0};
        for (int y = top; y < top + 9; ++y)
            for (int x = left; x < left + 8; ++x)
                for (int c = 0; c < 3; ++c)
                    sum[c] += test::PixelAt(bitmap, x, y)[c];
        for (int& c : sum)
            c /= 72;
        return sum;
    };
    for (int top = 9; top < 27; top += 9)
        for (int left = 0; left < 64; left += 8)
            EXPECT_TRUE(
                test::Near(block_mean(frames, left, 3 * 36 + top), block_mean(whole, left, top), 6))
                << left << "," << top;
    // The same request again is the same image.
    EXPECT_EQ(Get("api/transition?style=3&w=64&h=36&frames=4&from=" + one + "&to=" + two)->body,
              strip->body);

    for (const std::string bad :
         {"api/transition?style=128", "api/transition?style=x", "api/transition?w=8&h=8",
          "api/transition?w=100000&h=100", "api/transition?w=320&h=180&frames=1000",
          "api/frame?progress=101", "api/frame?format=gif", "api/transition?from=s1",
          "api/show?step=-1"})
        EXPECT_EQ(Get(bad)->status, 400) << bad;

    Put("api/settings", {{"styles", {9, 4}}, {"text", "Hello"}, {"interval", 1000}});
    const auto first = Get("api/show?step=0&w=64&h=36&view=32");
    ASSERT_EQ(first->status, 200) << first->body;
    EXPECT_EQ(first->get_header_value("X-Picture"), one);
    EXPECT_EQ(first->get_header_value("X-Style"), "9");
    EXPECT_EQ(first->get_header_value("X-Caption"), "1");
    EXPECT_EQ(first->get_header_value("X-Interval"), "1000");
    const TBitmap24 shown = DecodeUpright(
        std::span(reinterpret_cast<const std::uint8_t*>(first->body.data()), first->body.size()));
    EXPECT_EQ(shown.Width(), 32);
    EXPECT_EQ(shown.Height(), 25 * 18);
    const auto second = Get("api/show?step=1&w=64&h=36");
    EXPECT_EQ(second->get_header_value("X-Picture"), two);
    EXPECT_EQ(second->get_header_value("X-Style"), "4");
    EXPECT_EQ(second->get_header_value("X-Caption"), "0");
    EXPECT_EQ(Get("api/show?step=2&w=64&h=36")->get_header_value("X-Style"), "9");
}

TEST_F(StudioTest, APicturesOwnCaptionAndTimeAreShownSavedAndBuilt) {
    Upload("pictures", "one.jpg", test::TestJpeg(64, 48));
    Upload("pictures", "two.jpg", test::TestJpeg(48, 64));
    const json pictures = Project()["pictures"];
    const std::string one = pictures[0]["id"], two = pictures[1]["id"];
    Put("api/settings", {{"text", "Everyone's"}, {"interval", 1000}, {"styles", {9}}});
    EXPECT_EQ(Put("api/pictures/" + two, {{"caption", "Our boat"}, {"seconds", 2.5}})->status, 200);
    for (const json& bad :
         {json{{"caption", 5}}, json{{"seconds", -1}}, json{{"seconds", "x"}}, json::array()})
        EXPECT_EQ(Put("api/pictures/" + two, bad)->status, 400) << bad.dump();
    EXPECT_EQ(Put("api/pictures/p999", {{"caption", "x"}})->status, 400);
    EXPECT_EQ(Project()["pictures"][1]["caption"], "Our boat");

    // The preview: the second picture with its caption and time; the first
    // without the show's one text, which own captions replace.
    const auto first = Get("api/show?step=0&w=64&h=36");
    EXPECT_EQ(first->get_header_value("X-Picture"), one);
    EXPECT_EQ(first->get_header_value("X-Caption"), "0");
    EXPECT_EQ(first->get_header_value("X-Interval"), "1000");
    const auto second = Get("api/show?step=1&w=64&h=36");
    EXPECT_EQ(second->get_header_value("X-Picture"), two);
    EXPECT_EQ(second->get_header_value("X-Caption"), "1");
    EXPECT_EQ(second->get_header_value("X-Caption-Text"), "Our boat");
    EXPECT_EQ(second->get_header_value("X-Interval"), "2500");

    // Saved as a picture object, kept when the order changes and on reopening.
    Put("api/order", {{"pictures", {two, one}}});
    json manifest = json::parse(test::ReadBytes(dir_.File("project/project.json")));
    EXPECT_EQ(manifest["pictures"],
              json({{{"file", "pictures/two.jpg"}, {"caption", "Our boat"}, {"seconds", 2.5}},
                    "pictures/one.jpg"}));
    Open();
    EXPECT_EQ(Project()["pictures"][0]["caption"], "Our boat");
    EXPECT_EQ(Project()["pictures"][0]["seconds"], 2.5);
    const json state = Build("linux");
    ASSERT_EQ(state["error"], "") << state.dump();
    const json record = InspectSaver(state["outputs"][0]["path"].get<std::string>())["Record"];
    EXPECT_EQ(record["CaptionCommaList"], json({"Our boat", ""}));
    EXPECT_EQ(record["IntervalCommaList"], json({"2500", ""}));
}

TEST_F(StudioTest, WarningsSayOnlyWhatLosesContentOrQuality) {
    Upload("pictures", "large.jpg", test::TestJpeg(400, 300));
    Upload("pictures", "small.jpg", test::TestJpeg(40, 30));
    Upload("pictures", "tall.jpg", test::TestJpeg(100, 300));
    Upload("pictures", "ink.jpg", test::InkJpeg(64, 48, test::TInkForm::PlainCmyk, [](int, int) {
               return std::array<std::uint8_t, 4>{0, 255, 255, 0};
           }));
    auto warnings = [&] {
        std::vector<std::string> out;
        const json project = json::parse(Get("api/project?w=200&h=150")->body);
        for (const json& p : project["pictures"])
            out.push_back(p["warning"]);
        return out;
    };
    // Shrunk to fit by default: the large one and the tall one say nothing.
    EXPECT_EQ(warnings(), (std::vector<std::string>{
                              "", "Small on a 200x150 screen: it covers 4% of it.", "",
                              "Converted from CMYK to RGB. Small on a 200x150 screen: it covers "
                              "10% of it."}));
    Put("api/settings", {{"fit", "fill"}});
    EXPECT_EQ(warnings(), (std::vector<std::string>{
                              "", "Enlarged to 500% on a 200x150 screen: it will look soft.",
                              "Cut on a 200x150 screen: 25% of it shows.",
                              "Converted from CMYK to RGB. Enlarged to 313% on a 200x150 screen: "
                              "it will look soft."}));
    Put("api/settings", {{"fit", "natural"}});
    EXPECT_EQ(warnings()[0], "Cut on a 200x150 screen: 25% of it shows.");
}

#ifdef TEVRIN_HAVE_LCMS2
// A wide-gamut photo says that its colours are converted, and its thumbnail
// shows them converted already.
TEST_F(StudioTest, APictureWithAColourProfileSaysSoAndShowsItsColoursConverted) {
    const TBitmap24 reference = test::Colourful(160, 120);
    Upload("pictures", "adobe.jpg",
           test::WithProfile(EncodeJpeg(test::InProfile(reference, test::AdobeRgb()), 95),
                             test::AdobeRgb()));
    Upload("pictures", "plain.jpg", EncodeJpeg(reference, 95));
    const json project = json::parse(Get("api/project?w=160&h=120")->body);
    ASSERT_EQ(project["pictures"].size(), 2u);
    EXPECT_EQ(project["pictures"][0]["warning"],
              "Colours converted from Adobe RGB (1998) to sRGB.");
    EXPECT_EQ(project["pictures"][1]["warning"], "");
    // Its thumbnail looks as the same photo's in sRGB does.
    std::vector<TBitmap24> thumbs;
    for (const json& picture : project["pictures"]) {
        const auto thumb =
            Get("api/pictures/" + picture["id"].get<std::string>() + "/thumb?side=160");
        ASSERT_EQ(thumb->status, 200);
        thumbs.push_back(DecodeJpeg(reinterpret_cast<const std::uint8_t*>(thumb->body.data()),
                                    thumb->body.size()));
    }
    EXPECT_GE(test::Psnr(thumbs[0], thumbs[1]), 30.0);
}
#endif

TEST_F(StudioTest, ACaptionTemplateCaptionsEveryPictureWithoutOneOfItsOwn) {
    Upload("pictures", "one.jpg", test::TestJpeg(64, 48));
    Upload("pictures", "two.jpg", test::TestJpeg(48, 64));
    EXPECT_EQ(Put("api/settings", {{"caption", "{n} of {count}: {place}"}})->status, 400);
    EXPECT_EQ(Put("api/settings", {{"caption", "{n} of {count}: {file}"}})->status, 200);
    const json pictures = Project()["pictures"];
    EXPECT_EQ(pictures[0]["template_caption"], "1 of 2: one");
    EXPECT_EQ(pictures[1]["template_caption"], "2 of 2: two");
    Put("api/pictures/" + pictures[1]["id"].get<std::string>(), {{"caption", "Mine"}});
    EXPECT_EQ(Get("api/show?step=0&w=64&h=36")->get_header_value("X-Caption-Text"), "1 of 2: one");
    EXPECT_EQ(Get("api/show?step=1&w=64&h=36")->get_header_value("X-Caption-Text"), "Mine");
    const json state = Build("linux");
    ASSERT_EQ(state["error"], "") << state.dump();
    EXPECT_EQ(
        InspectSaver(state["outputs"][0]["path"].get<std::string>())["Record"]["CaptionCommaList"],
        json({"1 of 2: one", "Mine"}));
}

TEST_F(StudioTest, ABuildPacksTheProjectAsPackDoesAndOffersTheSaver) {
    const auto empty = client_->Post((base_ + "api/build").c_str(),
                                     json{{"targets", {"linux"}}}.dump(), "application/json");
    EXPECT_EQ(empty->status, 400);
    EXPECT_EQ(ErrorOf(empty), "Add pictures before building a saver");

    Upload("pictures", "one.jpg", test::TestJpeg(64, 48));
    // A name in other scripts is stored, listed and packed as it is, on
    // every system.
    Upload("pictures", "Zürich 日本.jpg", test::TestJpeg(48, 64));
    const auto sound = Upload("sounds", "tune.wav", test::AsBytes("RIFF....WAVE"));
    ASSERT_EQ(sound->status, 200) << sound->body;
    EXPECT_EQ(json::parse(sound->body)["file"], "sounds/tune.wav");
    Put("api/settings", {{"title", "Test: saver?"}, {"styles", {5}}, {"sound-order", "random"}});
    EXPECT_EQ(client_
                  ->Post((base_ + "api/build").c_str(), json{{"targets", {"mac"}}}.dump(),
                         "application/json")
                  ->status,
              400);
    const json state = Build("linux");
    ASSERT_EQ(state["error"], "") << state.dump();
    ASSERT_EQ(state["outputs"].size(), 1u);
    EXPECT_EQ(state["done"], state["total"]);
    // The title made a file name of the project's folder.
    const std::string saver = dir_.File("project/Test_ saver_");
    EXPECT_EQ(fs::path(state["outputs"][0]["path"].get<std::string>()), fs::path(saver));
    const json record = InspectSaver(saver)["Record"];
    EXPECT_EQ(record["PicFileNamesCommaList"], json({"one.jpg", "Zürich 日本.jpg"}));
    EXPECT_EQ(record["Styles"], json({5}));
    EXPECT_EQ(record["SndFileNamesCommaList"], json({"tune.wav"}));
    EXPECT_EQ(record["SoundRandom"], 2);
    const auto download = Get(state["outputs"][0]["download"].get<std::string>());
    ASSERT_EQ(download->status, 200);
    EXPECT_EQ(download->body.size(), fs::file_size(saver));
    // (The client hands header values over percent-decoded.)
    EXPECT_EQ(download->get_header_value("Content-Disposition"),
              "attachment; filename*=UTF-8''Test_ saver_");
    EXPECT_EQ(Get("api/builds/download?file=project.json")->status, 404);

    // The build is remembered, and says when the pictures changed since.
    json builds = Project()["builds"];
    ASSERT_EQ(builds.size(), 1u);
    EXPECT_EQ(builds[0]["file"], "Test_ saver_");
    EXPECT_EQ(builds[0]["target"], "linux");
    EXPECT_EQ(builds[0]["bytes"], fs::file_size(saver));
    EXPECT_EQ(builds[0]["time"].get<std::string>().size(), 20u);
    EXPECT_TRUE(builds[0]["present"].get<bool>());
    EXPECT_FALSE(builds[0]["pictures_changed"].get<bool>());
    EXPECT_FALSE(builds[0]["settings_changed"].get<bool>());
    EXPECT_EQ(Get(builds[0]["download"].get<std::string>())->body.size(), fs::file_size(saver));

    // A picture gone from the disk is named when a build is asked for.
    Upload("pictures", "three.jpg", test::TestJpeg(30, 30));
    fs::remove(dir_.File("project/pictures/three.jpg"));
    Open();
    builds = Project()["builds"];
    ASSERT_EQ(builds.size(), 1u);
    EXPECT_TRUE(builds[0]["pictures_changed"].get<bool>());
    EXPECT_FALSE(builds[0]["settings_changed"].get<bool>());
    // A saver changed since it was built is no longer offered.
    test::WriteBytes(saver, test::AsBytes("changed"));
    EXPECT_FALSE(Project()["builds"][0]["present"].get<bool>());
    EXPECT_EQ(Get(builds[0]["download"].get<std::string>())->status, 404);
    const auto missing = client_->Post((base_ + "api/build").c_str(),
                                       json{{"targets", {"linux"}}}.dump(), "application/json");
    EXPECT_EQ(missing->status, 400);
    EXPECT_NE(ErrorOf(missing).find("three.jpg"), std::string::npos) << ErrorOf(missing);
}

TEST_F(StudioTest, ABuildWritesOnlySaversOfItsOwnAndNeverAFileOfTheProjectOrTheUser) {
    Upload("pictures", "one.jpg", test::TestJpeg(64, 48));
    const std::string manifest = dir_.File("project/project.json");
    auto output = [](const json& state) {
        return fs::path(state["outputs"][0]["path"].get<std::string>()).filename().string();
    };
    // A title that names the manifest, a folder or a picture of the project.
    Put("api/settings", {{"title", "project.json"}});
    json state = Build("linux");
    ASSERT_EQ(state["error"], "") << state.dump();
    EXPECT_EQ(output(state), "project (2).json");
    EXPECT_NO_THROW(studio::TProject{manifest});
    for (const char* title : {"pictures", "Sounds"}) {
        Put("api/settings", {{"title", title}});
        state = Build("linux");
        ASSERT_EQ(state["error"], "") << state.dump();
        EXPECT_NE(output(state), title);
        EXPECT_TRUE(fs::is_directory(dir_.File("project/pictures")));
    }
    EXPECT_EQ(test::ReadBytes(dir_.File("project/pictures/one.jpg")), test::TestJpeg(64, 48));

    // A file of the user's that bears the title is kept; the saver built
    // beside it is replaced by the next build, unless the user changed it.
    test::WriteBytes(dir_.File("project/Mine"), test::AsBytes("my notes"));
    Put("api/settings", {{"title", "Mine"}});
    EXPECT_EQ(output(Build("linux")), "Mine (2)");
    EXPECT_EQ(output(Build("linux")), "Mine (2)");
    test::WriteBytes(dir_.File("project/Mine (2)"), test::AsBytes("edited"));
    EXPECT_EQ(output(Build("linux")), "Mine (3)");
    EXPECT_EQ(test::ReadBytes(dir_.File("project/Mine")), test::AsBytes("my notes"));
    EXPECT_EQ(test::ReadBytes(dir_.File("project/Mine (2)")), test::AsBytes("edited"));
    EXPECT_FALSE(fs::exists(dir_.File("project/Mine (4)")));
}

TEST_F(StudioTest, AProjectNamingARuntimeOfItsOwnIsShownAndNotBuilt) {
    Upload("pictures", "one.jpg", test::TestJpeg(64, 48));
    test::WriteBytes(dir_.File("project/.runtime"), test::AsBytes("#!/bin/sh\necho hi\n"));
    json manifest = json::parse(test::ReadBytes(dir_.File("project/project.json")));
    manifest["stub"] = ".runtime";
    test::WriteBytes(dir_.File("project/project.json"), test::AsBytes(manifest.dump()));
    Open();
    const json project = Project();
    ASSERT_EQ(project["notices"].size(), 1u);
    EXPECT_NE(project["notices"][0].get<std::string>().find("\"stub\""), std::string::npos);
    const json state = Build("linux");
    EXPECT_NE(state.value("error", "").find("runtime of its own"), std::string::npos)
        << state.dump();
    for (const auto& entry : fs::directory_iterator(dir_.File("project")))
        EXPECT_TRUE(entry.path().filename() == "project.json" ||
                    entry.path().filename() == "pictures" ||
                    entry.path().filename() == ".runtime" ||
                    entry.path().filename() == studio::kProjectLockName)
            << entry.path();
}

// Tabs A and B on one project: what B sends on a version older than A's
// change is refused with the version to load, and A's change stays. A tab's
// own edits still on their way do not refuse each other.
TEST_F(StudioTest, AChangeBasedOnAnOlderVersionIsRefusedAndRevertsNothing) {
    Upload("pictures", "one.jpg", test::TestJpeg(64, 48));
    const json loaded = Project();
    const std::string version = loaded["version"];
    const std::string picture = "api/pictures/" + loaded["pictures"][0]["id"].get<std::string>();
    auto send = [&](const char* method, const std::string& path, const json& body,
                    const std::string& base, const std::string& tab) {
        const httplib::Headers headers = {{"X-Project-Version", base}, {"X-Tab", tab}};
        const std::string url = base_ + path;
        return std::string(method) == "PUT"
                   ? client_->Put(url.c_str(), headers, body.dump(), "application/json")
                   : client_->Post(url.c_str(), headers, body.dump(), "application/json");
    };
    const auto a = send("PUT", "api/settings", {{"title", "From A"}}, version, "A");
    ASSERT_EQ(a->status, 200) << a->body;
    const std::string after_a = a->get_header_value("X-Project-Version");
    EXPECT_NE(after_a, version);
    EXPECT_EQ(json::parse(a->body)["version"], after_a);

    const auto b = send("PUT", picture, {{"caption", "From B"}}, version, "B");
    EXPECT_EQ(b->status, 409);
    EXPECT_EQ(json::parse(b->body)["version"], after_a);
    const auto b_settings = send("PUT", "api/settings", {{"title", "Old"}}, version, "B");
    EXPECT_EQ(b_settings->status, 409);
    EXPECT_EQ(send("PUT", "api/order", {{"pictures", json::array()}}, version, "B")->status, 409);
    EXPECT_EQ(Project()["settings"]["title"], "From A");
    EXPECT_TRUE(Project()["pictures"][0]["caption"].is_null());

    // A's second edit, sent before the answer to its first came.
    EXPECT_EQ(send("PUT", picture, {{"caption", "Also A"}}, version, "A")->status, 200);
    // B, once it loaded the project, is heard.
    const std::string now = Project()["version"];
    EXPECT_EQ(send("PUT", picture, {{"caption", "From B"}}, now, "B")->status, 200);
    EXPECT_EQ(Project()["pictures"][0]["caption"], "From B");
    // A version that never was is older; a project started again with
    // nothing changed has the version it had.
    EXPECT_EQ(send("PUT", "api/settings", {{"title", "X"}}, "abc", "A")->status, 409);
    EXPECT_EQ(Project()["settings"]["title"], "From A");
    const std::string last = Project()["version"];
    Open();
    EXPECT_EQ(Project()["version"], last);
    EXPECT_EQ(send("PUT", "api/settings", {{"title", "Y"}}, last, "C")->status, 200);
}

// The session's port and token are kept per project, readable by the user
// alone: a Studio started again has the same address, and a second start
// while one runs finds that one's address.
TEST_F(StudioTest, TheAddressStaysAcrossStartsAndASecondStartFindsTheRunningStudio) {
    const std::string address = server_->Address();
    const std::string manifest = studio::ProjectManifestPath(dir_.File("project"));
    EXPECT_EQ(studio::RunningStudioAddress(manifest, sessions_.File("studio")), address);
    Open();
    EXPECT_EQ(server_->Address(), address);
    EXPECT_EQ(Get("api/project")->status, 200);
    const std::string file =
        studio::TSessionStore(sessions_.File("studio")).FileFor(dir_.File("project"));
    ASSERT_TRUE(fs::exists(file));
    EXPECT_NE(
        [&] {
            const test::TBytes b = test::ReadBytes(file);
            return std::string(b.begin(), b.end());
        }()
            .find(server_->Token()),
        std::string::npos);
#ifndef _WIN32
    EXPECT_EQ(fs::status(file).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(fs::status(sessions_.File("studio")).permissions() & fs::perms::all,
              fs::perms::owner_all);
#endif
    server_.reset();
    EXPECT_EQ(studio::RunningStudioAddress(manifest, sessions_.File("studio")), std::nullopt);
    // A session file another program wrote is not taken.
    test::WriteBytes(file, test::AsBytes("{\"folder\": \"/\", \"port\": 80, \"token\": \"x\"}"));
    Open();
    EXPECT_NE(server_->Token(), "x");
}

TEST_F(StudioTest, OneStudioAtATimeServesAProjectFolder) {
    studio::TStudioOptions options;
    options.Manifest = studio::ProjectManifestPath(dir_.File("project"));
    const std::string refusal = test::ErrorOf([&] { studio::TStudioServer second(options); });
    EXPECT_NE(refusal.find("open in another Tevrin Studio already"), std::string::npos) << refusal;
    // A manifest of another name in the same folder is the same project folder.
    options.Manifest = dir_.File("project/other.json");
    EXPECT_NE(test::ErrorOf([&] { studio::TStudioServer second(options); }), "(no error)");
    server_.reset();
    EXPECT_FALSE(fs::exists(dir_.File("project/.tevrin-studio.lock")));
    EXPECT_EQ(test::ErrorOf([&] { studio::TStudioServer again(options); }), "(no error)");
}

TEST(StudioProject, OpeningNeverWritesAndAChangeKeepsWhatTheUserWroteAsWritten) {
    test::TScratchDir dir;
    fs::create_directories(dir.File("shots"));
    fs::create_directories(dir.File("p"));
    test::WriteBytes(dir.File("shots/1.jpg"), test::TestJpeg(20, 20));
    test::WriteBytes(dir.File("shots/2.jpg"), test::TestJpeg(22, 20));
    test::WriteBytes(dir.File("shared.jpg"), test::TestJpeg(24, 20));
    const std::string written = R"({
  "title": "Mine",   "_seed": 12345678901234567890123456789,
  "pictures": ["../shots", "../shared.jpg"],
  "sound": [42],
  "comment": "by hand", "interval": 4000
}
)";
    test::WriteBytes(dir.File("p/project.json"), test::AsBytes(written));
    {
        studio::TStudioOptions options;
        options.Manifest = dir.File("p/project.json");
        studio::TStudioServer server(options);
    }
    EXPECT_EQ(test::ReadBytes(dir.File("p/project.json")), test::AsBytes(written));

    studio::TProject project(dir.File("p/project.json"));
    ASSERT_EQ(project.Pictures().size(), 3u);
    project.SetSettings({{"interval", 4000}});
    project.OrderPictures(
        {project.Pictures()[0].Id, project.Pictures()[1].Id, project.Pictures()[2].Id});
    EXPECT_EQ(test::ReadBytes(dir.File("p/project.json")), test::AsBytes(written))
        << "nothing changed, so nothing was written";

    project.SetSettings({{"title", "Ours"}});
    const json saved = json::parse(test::ReadBytes(dir.File("p/project.json")));
    const test::TBytes bytes = test::ReadBytes(dir.File("p/project.json"));
    const std::string text(bytes.begin(), bytes.end());
    EXPECT_NE(text.find("\"_seed\": 12345678901234567890123456789"), std::string::npos) << text;
    EXPECT_LT(text.find("\"title\""), text.find("\"pictures\"")) << text;
    EXPECT_LT(text.find("\"comment\""), text.find("\"interval\"")) << text;
    EXPECT_EQ(saved["title"], "Ours");
    EXPECT_EQ(saved["pictures"], json({"../shots", "../shared.jpg"}));
    EXPECT_EQ(saved["sound"], json({42}));

    // A folder whose pictures are no longer all there in their order is
    // written picture by picture; the others stay as they were.
    project.OrderPictures(
        {project.Pictures()[1].Id, project.Pictures()[0].Id, project.Pictures()[2].Id});
    EXPECT_EQ(json::parse(test::ReadBytes(dir.File("p/project.json")))["pictures"],
              json({"../shots/2.jpg", "../shots/1.jpg", "../shared.jpg"}));

    // So is a folder one of whose pictures was taken off, and a folder with
    // no pictures opens as none.
    fs::create_directories(dir.File("empty"));
    fs::create_directories(dir.File("q"));
    test::WriteBytes(dir.File("q/project.json"),
                     test::AsBytes(R"({"pictures": ["../shots", "../empty"]})"));
    studio::TProject folders(dir.File("q/project.json"));
    ASSERT_EQ(folders.Pictures().size(), 2u);
    folders.Remove(folders.Pictures()[0].Id);
    EXPECT_EQ(json::parse(test::ReadBytes(dir.File("q/project.json")))["pictures"],
              json({"../shots/2.jpg", "../empty"}));
}

TEST_F(StudioTest, ARequestDrawsNoMoreThanItsShareAndConcurrentOnesMakeEachThingOnce) {
    Upload("pictures", "one.jpg", test::TestJpeg(64, 48));
    Upload("pictures", "two.jpg", test::TestJpeg(48, 64));
    const auto huge = Get("api/transition?style=5&w=7680&h=1080&frames=60");
    EXPECT_EQ(huge->status, 400);
    EXPECT_NE(ErrorOf(huge).find("more than one request may draw"), std::string::npos)
        << ErrorOf(huge);
    // Four at once on the same frame: the same answer, made once.
    std::vector<std::string> bodies(4);
    std::vector<std::thread> requests;
    for (std::size_t i = 0; i < bodies.size(); ++i)
        requests.emplace_back([&, i] {
            httplib::Client client("127.0.0.1", server_->Port());
            const auto frame = client.Get((base_ + "api/transition?style=7&w=640&h=360").c_str());
            if (frame && frame->status == 200) bodies[i] = frame->body;
        });
    for (std::thread& request : requests)
        request.join();
    for (const std::string& body : bodies) {
        EXPECT_FALSE(body.empty());
        EXPECT_EQ(body, bodies[0]);
    }
    EXPECT_EQ(DecodeBudgetInUse(), 0u);
}

TEST(StudioProject, AManifestWrittenByHandOpensWithFoldersExpandedAndOtherKeysKept) {
    test::TScratchDir dir;
    fs::create_directories(dir.File("shots"));
    fs::create_directories(dir.File("p"));
    test::WriteBytes(dir.File("shots/10.jpg"), test::TestJpeg(20, 20));
    test::WriteBytes(dir.File("shots/9.jpg"), test::TestJpeg(20, 20));
    test::WriteBytes(dir.File("outside.jpg"), test::TestJpeg(20, 20));
    test::WriteBytes(dir.File("p/mine.json"),
                     test::AsBytes(json{
                         {"pictures", {"../shots", dir.File("outside.jpg"), "gone.jpg"}},
                         {"quality", 70},
                         {"title",
                          "Hand"}}.dump()));
    studio::TProject project(dir.File("p/mine.json"));
    ASSERT_EQ(project.Pictures().size(), 4u);
    EXPECT_EQ(project.Pictures()[0].Name, "9.jpg");
    EXPECT_EQ(project.Pictures()[1].Name, "10.jpg");
    EXPECT_EQ(project.Pictures()[2].Stored, dir.File("outside.jpg"));
    EXPECT_NE(project.Pictures()[3].Problem, "");
    EXPECT_EQ(project.Settings()["quality"], 70);
    EXPECT_EQ(project.Record().Title, "Hand");
    EXPECT_EQ(project.Choices().Limits.Quality, 70);
    EXPECT_EQ(project.OutputName("windows"), "Hand.scr");

    test::WriteBytes(dir.File("p/list.json"), test::AsBytes("[1, 2]"));
    EXPECT_THROW(studio::TProject(dir.File("p/list.json")), EError);
    EXPECT_EQ(fs::path(studio::ProjectManifestPath(dir.File("p"))),
              fs::path(dir.File("p/project.json")));
    EXPECT_EQ(studio::ProjectManifestPath(dir.File("p/mine.json")), dir.File("p/mine.json"));
}

TEST(StudioProject, EveryWindowsDeviceNameIsRefusedInAnyCaseWithAnyExtension) {
    for (const std::string name :
         {"CON", "prn.jpg", "Aux.tar.gz", "NUL", "COM0", "com9.png", "LPT0.jpg", "lpt5",
          "COM\u00B9.jpg", "LPT\u00B2.jpg", "COM\u00B3", "conin$.jpg", "CONOUT$", "COM1 .jpg"})
        EXPECT_THROW(studio::CheckedFileName(name), EError) << name;
    for (const std::string name : {"COMET.jpg", "COM10.jpg", "console.jpg", "LPT.jpg", "nulla.png",
                                   "COM\u00B9\u00B9.jpg", "Zürich 日本.jpg"})
        EXPECT_EQ(studio::CheckedFileName(name), name);
}

} // namespace
} // namespace tevrin
