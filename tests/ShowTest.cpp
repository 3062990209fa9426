// SPDX-License-Identifier: MIT
#include "base/Errors.h"
#include "effects/Random.h"
#include "gfx/Copy.h"
#include "gfx/Exif.h"
#include "gfx/Jpeg.h"
#include "gfx/PictureFile.h"
#include "platform/SystemText.h"
#include "show/CaptionTemplate.h"
#include "show/Content.h"
#include "show/FolderContent.h"
#include "show/Motion.h"
#include "show/Slide.h"
#include "show/SlideOrder.h"
#include "tests/TestSupport.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <set>

namespace tevrin {
namespace {

const TShowPicture kNoPicture;

TTextEngine& Engine() {
    static const std::unique_ptr<TTextEngine> engine = MakeSystemTextEngine();
    return *engine;
}

// Runs `rounds` rounds of `count` draws, checking that each round holds
// every one of 0 .. count - 1 and that no draw repeats the one before it,
// across round boundaries too.
void CheckRounds(const std::function<int()>& next, int count, int rounds) {
    int last = -1;
    for (int round = 0; round < rounds; ++round) {
        std::set<int> seen;
        for (int k = 0; k < count; ++k) {
            const int drawn = next();
            ASSERT_TRUE(drawn >= 0 && drawn < count) << drawn;
            if (count > 1) {
                ASSERT_NE(drawn, last) << "round " << round << ", draw " << k;
            }
            seen.insert(drawn);
            last = drawn;
        }
        ASSERT_EQ(static_cast<int>(seen.size()), count) << "round " << round;
    }
}

TEST(SlideOrder, ShuffledPicturesComeOnceARoundAndNeverTwiceRunning) {
    SetRandSeed(7);
    TShowChoices choices;
    choices.RandomPicture = choices.Shuffle = true;
    for (int count : {1, 2, 5, 50}) {
        TSlideOrder order(choices, count);
        CheckRounds([&] { return *order.NextPicture(); }, count, 1000);
    }
    // Two pictures alternate; one simply repeats.
    TSlideOrder two(choices, 2);
    const int first = *two.NextPicture();
    for (int k = 1; k < 20; ++k)
        EXPECT_EQ(*two.NextPicture(), (first + k) % 2);
    TSlideOrder one(choices, 1);
    EXPECT_EQ(*one.NextPicture(), 0);
    EXPECT_EQ(*one.NextPicture(), 0);
}

TEST(SlideOrder, ShuffledStylesComeOnceARoundAmongTheChosenOrAll) {
    SetRandSeed(11);
    TShowChoices choices;
    choices.RandomStyle = choices.Shuffle = true;
    choices.Styles = {51, 3, 118, 22, 90};
    TSlideOrder named(choices, 3);
    const std::vector<TShowStyle> styles = choices.Styles;
    CheckRounds(
        [&] {
            const TShowStyle style = named.NextStyle(kInitialStyle);
            return static_cast<int>(std::find(styles.begin(), styles.end(), style) -
                                    styles.begin());
        },
        5, 1000);
    TShowChoices every = choices;
    every.Styles.clear();
    TSlideOrder all(every, 3);
    CheckRounds([&] { return all.NextStyle(kInitialStyle) - 1; }, kLastStyle, 50);
}

TEST(SlideOrder, RandomWithoutShuffleStaysTheClassicDraw) {
    // The design's pictures at random: independent draws, so in a long run
    // some picture follows itself.
    SetRandSeed(5);
    TShowChoices choices;
    choices.RandomPicture = true;
    TSlideOrder order(choices, 3);
    int repeats = 0, last = -1;
    for (int k = 0; k < 300; ++k) {
        const int drawn = *order.NextPicture();
        repeats += drawn == last;
        last = drawn;
    }
    EXPECT_GT(repeats, 30);
}

// A plain grey picture of the screen's size, with `caption` on it.
TBitmap24 Captioned(const std::string& caption, const TCaptionLook& look, int w = 400, int h = 200,
                    std::uint32_t grey = 0x808080) {
    TBitmap24 canvas(w, h);
    FillRect(canvas, {0, 0, w, h}, grey);
    DrawCaption(canvas, caption, look, 96, Engine());
    return canvas;
}

// The rectangle of pixels that differ from `grey`; empty when none do.
TRect Touched(const TBitmap24& canvas, std::uint32_t grey = 0x808080) {
    TRect r{canvas.Width(), canvas.Height(), 0, 0};
    const std::uint8_t v[3] = {static_cast<std::uint8_t>(grey),
                               static_cast<std::uint8_t>(grey >> 8),
                               static_cast<std::uint8_t>(grey >> 16)};
    for (int y = 0; y < canvas.Height(); ++y)
        for (int x = 0; x < canvas.Width(); ++x) {
            const std::uint8_t* p = canvas.Row(y) + x * 3;
            if (p[0] != v[0] || p[1] != v[1] || p[2] != v[2]) {
                r.Left = std::min(r.Left, x), r.Top = std::min(r.Top, y);
                r.Right = std::max(r.Right, x + 1), r.Bottom = std::max(r.Bottom, y + 1);
            }
        }
    return r.Right > r.Left ? r : TRect{};
}

TEST(Caption, TheClassicCaptionSitsOnTheBottomEdgeAndOutlinedOnesStandClear) {
    TCaptionLook look{"DejaVu Sans", 14, 0xFFFFFF};
    // Descenders reach the bottom rows in the design's layout.
    const TRect classic = Touched(Captioned("Jpgqy", look));
    EXPECT_GE(classic.Bottom, 200 - 2);
    look.Shadow = look.Inside = true;
    const TRect outlined = Touched(Captioned("Jpgqy", look));
    ASSERT_FALSE(outlined.IsEmpty());
    // Clear of the bottom by a margin that grows with the font, outline
    // and descenders included.
    EXPECT_LE(outlined.Bottom, 200 - 6);
    look.Points = 28;
    EXPECT_LE(Touched(Captioned("Jpgqy", look)).Bottom, 200 - 12);
}

TEST(Caption, AnOutlinedCaptionReadsOnWhiteAndAWideOneIsMadeToFit) {
    TCaptionLook look{"DejaVu Sans", 20, 0xFFFFFF, true, true};
    const TBitmap24 on_white = Captioned("Snow", look, 300, 120, 0xFFFFFF);
    int dark = 0;
    for (int y = 0; y < on_white.Height(); ++y)
        for (int x = 0; x < on_white.Width(); ++x)
            dark += on_white.Row(y)[x * 3] < 96;
    EXPECT_GT(dark, 100) << "the outline shows around the strokes";
    TCaptionLook plain = look;
    plain.Shadow = false;
    EXPECT_TRUE(Touched(Captioned("Snow", plain, 300, 120, 0xFFFFFF), 0xFFFFFF).IsEmpty());

    // Far wider than the screen at its size: drawn smaller, inside it.
    look.Points = 60;
    const std::string wide = "A caption much longer than any screen is wide, with descenders gjpqy";
    const TRect inside = Touched(Captioned(wide, look, 320, 240));
    ASSERT_FALSE(inside.IsEmpty());
    EXPECT_GT(inside.Left, 0);
    EXPECT_LT(inside.Right, 320);
    EXPECT_LT(inside.Bottom, 240);
    // The classic caption runs off both sides (the letters reach the
    // edges but for the gaps between them).
    look.Shadow = look.Inside = false;
    const TRect classic = Touched(Captioned(wide, look, 320, 240));
    EXPECT_LE(classic.Left, 8);
    EXPECT_GE(classic.Right, 320 - 8);
    EXPECT_GT(classic.Height(), inside.Height());
}

// Pictures by number, each a plain colour, with the captions given.
class TPlainContent final : public TShowContent {
public:
    explicit TPlainContent(std::optional<std::vector<std::string>> captions)
        : captions_(std::move(captions)) {}
    int PictureCount() const override { return 3; }
    TShowPicture Picture(int i) const override {
        TShowPicture picture;
        picture.Upright = TBitmap24(80, 60);
        FillRect(picture.Upright, {0, 0, 80, 60}, 0x202020 * static_cast<std::uint32_t>(i + 1));
        return picture;
    }
    std::optional<std::string> Caption(int i) const override {
        if (!captions_) return std::nullopt;
        return (*captions_)[static_cast<std::size_t>(i)];
    }
    std::optional<int> IntervalMs(int) const override { return std::nullopt; }

private:
    std::optional<std::vector<std::string>> captions_;
};

TEST(Slide, OwnCaptionsReplaceTheShowsAlternateOne) {
    TShowChoices choices;
    choices.Text = "Everyone's";
    const TPlainContent shared(std::nullopt), own(std::vector<std::string>{"One", "", "Three"});
    // The show's caption on every other picture.
    EXPECT_EQ(SlideCaption(choices, shared.Caption(1), true), "Everyone's");
    EXPECT_EQ(SlideCaption(choices, shared.Caption(1), false), "");
    // Own captions on every picture that has one, whatever the alternation.
    EXPECT_EQ(SlideCaption(choices, own.Caption(0), false), "One");
    EXPECT_EQ(SlideCaption(choices, own.Caption(1), true), "");
    EXPECT_EQ(SlideCaption(choices, own.Caption(2), false), "Three");

    // A slide is its picture composed, then its caption: the same pixels
    // above the caption, different ones under it.
    choices.Fit = TFitMode::fmFit;
    choices.Caption = {"DejaVu Sans", 12, 0xFFFFFF, true, true};
    const TShowPicture picture = own.Picture(2);
    const TBitmap24 bare = MakeSlide(picture, "", choices, {160, 120}, Engine());
    const TBitmap24 with = MakeSlide(picture, "Three", choices, {160, 120}, Engine());
    EXPECT_EQ(bare.Row(10)[80 * 3], 0x60);
    EXPECT_TRUE(std::equal(bare.Row(0), bare.Row(60), with.Row(0)));
    EXPECT_FALSE(std::equal(bare.Row(60), bare.Row(120), with.Row(60)));
}

// A slide drawn into memory that held another picture, in 3- or 4-byte
// pixels, has the colours of one drawn into a new bitmap: every fit, with
// and without blurred borders, a turned camera file and pixels standing
// upright, with an outlined caption.
TEST(Slide, DrawnIntoUsedMemoryInEitherPixelsItIsTheSame) {
    const TShowPicture turned{
        WithExifOrientation(EncodeJpeg(test::Quarters(200, 90), 90), 6, false), {}};
    const TShowPicture upright{{}, test::Quarters(90, 200)};
    TShowChoices choices;
    choices.Caption = {"DejaVu Sans", 12, 0xFFFFFF, true, true};
    const TScreenSpec screen{160, 120};
    for (const TShowPicture* picture : {&turned, &upright, &kNoPicture})
        for (const TFitMode fit : {TFitMode::fmFit, TFitMode::fmFill, TFitMode::fmNatural})
            for (const bool blur : {false, true}) {
                choices.Fit = fit;
                choices.BlurBorders = blur;
                const TBitmap24 fresh = MakeSlide(*picture, "Ändern", choices, screen, Engine());
                for (const int bytes : {3, 4}) {
                    TBitmap24 used = TBitmap24::Undefined(160, 120, bytes);
                    FillRect(used, {0, 0, 160, 120}, 0x3366CC);
                    const TBitmap24 slide =
                        MakeSlide(*picture, "Ändern", choices, screen, Engine(), std::move(used));
                    EXPECT_EQ(slide.PixelBytes(), bytes);
                    EXPECT_TRUE(test::SamePixels(slide, fresh))
                        << static_cast<int>(fit) << " " << blur << " " << bytes;
                }
            }
}

TEST(ShowChoices, ClassicRecordsKeepTheDesignsShowAndNewPropertiesAreRead) {
    TSSFileLocations record(96);
    record.Text = "Hello";
    record.Styles = {3, 200, 0};
    TShowChoices classic = TShowChoices::Of(record);
    EXPECT_EQ(classic.TransitionFrames, kDefaultTransitionFrames);
    EXPECT_EQ(classic.Text, "Hello");
    EXPECT_FALSE(classic.Caption.Inside);
    EXPECT_EQ(classic.Styles, (std::vector<TShowStyle>{3, 0}));
    // A transition's frames follow its length, 40 ms apart, kept in range.
    for (auto [ms, frames] :
         {std::pair{1000, 25}, {200, 5}, {10000, 250}, {50, 5}, {99999, 250}, {2010, 50}}) {
        record.TransitionTime = ms;
        EXPECT_EQ(TShowChoices::Of(record).TransitionFrames, frames) << ms;
    }
    // Captions of their own: the show's one text is not drawn, and they stay
    // inside the screen.
    record.Captions = TStringList{"a", ""};
    const TShowChoices own = TShowChoices::Of(record);
    EXPECT_EQ(own.Text, "");
    EXPECT_TRUE(own.Caption.Inside);
}

TEST(CaptionTemplate, FieldsAreFilledAndDatesWrittenInEnglish) {
    const TDateTime date{2024, 8, 5, 9, 7, 3};
    EXPECT_EQ(FormatDate(date, kDefaultDateFormat), "5 August 2024");
    EXPECT_EQ(FormatDate(date, "%A %d.%m.%y %H:%M:%S %%"), "Monday 05.08.24 09:07:03 %");
    EXPECT_EQ(FormatDate({2000, 1, 1}, "%a %b %-d %-m %Y"), "Sat Jan 1 1 2000");
    EXPECT_EQ(FormatDate({2023, 12, 31}, "%A"), "Sunday");

    const TCaptionTemplate caption("{n}/{count} · {title} {date} ({file}) {{x}}");
    EXPECT_TRUE(caption.NeedsFacts());
    EXPECT_EQ(caption.Resolve({date, "Our boat", "IMG_1", 2, 9}),
              "2/9 · Our boat 5 August 2024 (IMG_1) {x}");
    // Empty fields leave no double blanks.
    EXPECT_EQ(caption.Resolve({std::nullopt, "", "IMG_1", 1, 1}), "1/1 · (IMG_1) {x}");
    EXPECT_FALSE(TCaptionTemplate("{file}").NeedsFacts());
    EXPECT_EQ(TCaptionTemplate("{date}", "%Y").Resolve({date}), "2024");

    for (const char* bad : {"{place}", "{date", "date}", "{Date}"})
        EXPECT_THROW(TCaptionTemplate{bad}, EError) << bad;
    EXPECT_THROW(TCaptionTemplate("{date}", "%Q"), EError);
    EXPECT_THROW(TCaptionTemplate("{date}", "%"), EError);
}

// A folder as the record names it is the running machine's: home and
// variables in either system's spelling, anything else as it stands.
TEST(FolderContent, FolderNamesExpandForTheMachineThatRuns) {
    const std::map<std::string, std::string> set = {
        {"PICS", "/data/pics"}, {"USERPROFILE", "C:\\Users\\Ana"}, {"EMPTY", ""}};
    auto lookup = [&](const std::string& name) -> std::optional<std::string> {
        const auto it = set.find(name);
        if (it == set.end()) return std::nullopt;
        return it->second;
    };
    auto expand = [&](const std::string& path) {
        return ExpandFolderPath(path, lookup, "/home/ana");
    };
    EXPECT_EQ(expand("~"), "/home/ana");
    EXPECT_EQ(expand("~/Pictures"), "/home/ana/Pictures");
    EXPECT_EQ(expand("~\\Pictures"), "/home/ana\\Pictures");
    EXPECT_EQ(expand("~ana/Pictures"), "~ana/Pictures");   // another user's: left alone
    EXPECT_EQ(expand("$HOME/Photos"), "/home/ana/Photos"); // HOME unset: the home folder
    EXPECT_EQ(expand("${PICS}/2024"), "/data/pics/2024");
    EXPECT_EQ(expand("$PICS-old"), "/data/pics-old");
    EXPECT_EQ(expand("%USERPROFILE%\\Pictures"), "C:\\Users\\Ana\\Pictures");
    EXPECT_EQ(expand("%PICS%%PICS%"), "/data/pics/data/pics");
    EXPECT_EQ(expand("$EMPTY/x"), "/x");
    // Unset variables and lone signs stay as they are.
    EXPECT_EQ(expand("$NOPE/x and %NOPE% 100%"), "$NOPE/x and %NOPE% 100%");
    EXPECT_EQ(expand("${PICS"), "${PICS");
    EXPECT_EQ(expand("/a$"), "/a$");
}

// Paths in their generic form: a system may join them with its own
// separator.
std::vector<std::string> Generic(std::vector<std::string> paths) {
    for (std::string& path : paths)
        path = std::filesystem::path(path).generic_string();
    return paths;
}

// The files a folder content shows.
std::vector<std::string> FilesOf(const TFolderContent& content) {
    std::vector<std::string> files;
    for (int i = 0; i < content.PictureCount(); ++i)
        files.push_back(content.FileOf(i));
    return Generic(files);
}

TEST(FolderContent, FindsPicturesByNameInPathOrderAndSubfoldersOnlyWhenAsked) {
    namespace fs = std::filesystem;
    test::TScratchDir dir;
    const std::string a = dir.File("a"), b = dir.File("b");
    fs::create_directories(fs::path(a) / "deeper");
    fs::create_directories(b);
    for (const std::string& file :
         {a + "/2.JPG", a + "/1.png", a + "/notes.txt", a + "/deeper/3.webp", b + "/0.heic"})
        test::WriteBytes(file, test::AsBytes("x"));
    fs::create_directories(a + "/folder.jpg"); // a folder, not a picture
    auto found = [](const std::vector<std::string>& folders, bool recursive) {
        TSSFileLocations record(96);
        record.PictureFolders = folders;
        record.lRecursive = recursive;
        return FilesOf(TFolderContent(nullptr, record));
    };
    EXPECT_EQ(found({b, a, dir.File("missing")}, false),
              Generic({a + "/1.png", a + "/2.JPG", b + "/0.heic"}));
    EXPECT_EQ(found({a, a}, true), Generic({a + "/1.png", a + "/2.JPG", a + "/deeper/3.webp"}));
}

#ifdef TEVRIN_HAVE_LCMS2
// What a show draws of a photo in another profile than sRGB's is in sRGB's
// colours: a stored JPEG when composed or moving, a folder's PNG when read.
TEST(ColourProfiles, ShowsDrawWideGamutPhotosInSrgbColours) {
    const TBitmap24 reference = test::Colourful(192, 96);
    const test::TBytes plain = EncodeJpeg(reference, 95);
    const test::TBytes adobe = test::WithProfile(
        EncodeJpeg(test::InProfile(reference, test::AdobeRgb()), 95), test::AdobeRgb());
    TSSFileLocations record(96);
    record.FitMode = TFitMode::fmNatural;
    const TShowChoices choices = TShowChoices::Of(record);
    const TScreenSpec screen{192, 96};
    const TBitmap24 still = ComposeSlide(TShowPicture{adobe, {}}, choices, screen);
    EXPECT_GE(test::Psnr(still, reference), 34.0);
    EXPECT_NEAR(test::MeanSaturation(still) / test::MeanSaturation(reference), 1.0, 0.03);
    // Moving, it matches the same motion over the sRGB photo.
    record.Motion = TMotion::moPanZoom;
    const TShowChoices moving = TShowChoices::Of(record);
    const TMovingSlide from_adobe(TShowPicture{adobe, {}}, moving, screen, 7);
    const TMovingSlide from_plain(TShowPicture{plain, {}}, moving, screen, 7);
    EXPECT_GE(test::Psnr(from_adobe.Frame(0.5, 3), from_plain.Frame(0.5, 3)), 34.0);
    // A folder's PNG in Display P3.
    const TBitmap24 p3 = test::InProfile(reference, test::DisplayP3());
    const TShowPicture png = ReadShowPicture(test::PngWithProfile(
        test::RgbaPng(192, 96, false,
                      [&](int x, int y) {
                          const std::uint8_t* p = p3.Row(y) + 3 * x;
                          return std::array<std::uint8_t, 4>{p[2], p[1], p[0], 255};
                      }),
        test::DisplayP3()));
    EXPECT_GE(test::Psnr(png.Upright, reference), 38.0);
    // Without a profile, or in sRGB's, nothing changes.
    EXPECT_TRUE(test::SamePixels(
        ComposeSlide(TShowPicture{plain, {}}, choices, screen),
        ComposeSlide(TShowPicture{test::WithProfile(plain, test::SrgbProfile()), {}}, choices,
                     screen)));
}
#endif

// A 2 x 2 BMP of 24-bit pixels: red and green over blue and white.
test::TBytes TwoByTwoBmp() {
    test::TBytes bmp = {'B',  'M',  70, 0, 0, 0, 0,  0, 0, 0, 54,   0,    0, 0, // file header
                        40,   0,    0,  0, 2, 0, 0,  0, 2, 0, 0,    0,    1, 0,
                        24,   0,    0,  0, 0, 0, 16, 0, 0, 0, 0x13, 0x0B, 0, 0,
                        0x13, 0x0B, 0,  0, 0, 0, 0,  0, 0, 0, 0,    0};
    // Rows bottom up, blue-green-red, each padded to four bytes.
    const test::TBytes rows = {255, 0, 0, 255, 255, 255, 0, 0, 0, 0, 255, 0, 255, 0, 0, 0};
    bmp.insert(bmp.end(), rows.begin(), rows.end());
    return bmp;
}

// Windows' runtime hands what its own libraries do not read to the
// system's imaging component; elsewhere such a file is no picture.
TEST(PictureFiles, TheSystemDecodesWhatOurLibrariesDoNotWhereItCan) {
#ifdef _WIN32
    const TBitmap24 bmp = DecodeUpright(TwoByTwoBmp());
    ASSERT_EQ(bmp.Width(), 2);
    ASSERT_EQ(bmp.Height(), 2);
    EXPECT_EQ(test::PixelAt(bmp, 0, 0), (test::TBgr{0, 0, 255}));
    EXPECT_EQ(test::PixelAt(bmp, 1, 0), (test::TBgr{0, 255, 0}));
    EXPECT_EQ(test::PixelAt(bmp, 0, 1), (test::TBgr{255, 0, 0}));
    EXPECT_EQ(test::PixelAt(bmp, 1, 1), (test::TBgr{255, 255, 255}));
#else
    EXPECT_EQ(test::ErrorOf([] { DecodeUpright(TwoByTwoBmp()); }),
              "Not a picture this program reads (JPEG, PNG, WebP, HEIC)");
#endif
    // Bytes no codec takes are no picture anywhere.
    EXPECT_THROW(DecodeUpright(test::AsBytes("no picture at all")), EError);
}

// A PNG with an eXIf chunk after its header chunk (its CRC left zero:
// only metadata is read from it).
test::TBytes PngWithExif(const test::TBytes& block) {
    test::TBytes png = test::RgbaPng(4, 4, false, [](int, int) {
        return std::array<std::uint8_t, 4>{10, 20, 30, 255};
    });
    const test::TBytes tiff(block.begin() + 6, block.end()); // no signature in PNG
    test::TBytes chunk = {0,
                          0,
                          static_cast<std::uint8_t>(tiff.size() >> 8),
                          static_cast<std::uint8_t>(tiff.size()),
                          'e',
                          'X',
                          'I',
                          'f'};
    chunk.insert(chunk.end(), tiff.begin(), tiff.end());
    chunk.insert(chunk.end(), 4, 0);
    png.insert(png.begin() + 33, chunk.begin(), chunk.end()); // after the signature and IHDR
    return png;
}

// A RIFF WebP container holding only an EXIF chunk.
test::TBytes WebpWithExif(const test::TBytes& block) {
    const auto size = static_cast<std::uint32_t>(block.size());
    test::TBytes webp = {'R',
                         'I',
                         'F',
                         'F',
                         0,
                         0,
                         0,
                         0,
                         'W',
                         'E',
                         'B',
                         'P',
                         'E',
                         'X',
                         'I',
                         'F',
                         static_cast<std::uint8_t>(size),
                         static_cast<std::uint8_t>(size >> 8),
                         0,
                         0};
    webp.insert(webp.end(), block.begin(), block.end());
    if (size & 1) webp.push_back(0);
    return webp;
}

TEST(FolderContent, CaptionsComeFromTheTemplateWithEachPhotosDateAndDescription) {
    test::TScratchDir dir;
    test::WriteBytes(dir.File("a.jpg"),
                     test::WithExifBlock(test::TestJpeg(20, 10),
                                         test::ExifTextBlock("Harbour", "2024:08:12 14:03:00")));
    test::WriteBytes(dir.File("b.png"),
                     PngWithExif(test::ExifTextBlock("Quay", "2020:05:01 09:00:00", true)));
    test::WriteBytes(dir.File("c.webp"),
                     WebpWithExif(test::ExifTextBlock("Pier", "2021:06:02 10:30:00")));
    test::WriteBytes(dir.File("d.jpg"), test::TestJpeg(20, 10));
    TSSFileLocations record(96);
    record.PictureFolders = {dir.Path()};
    record.CaptionTemplate = "{n}/{count} {title} {date} ({file})";
    TFolderContent content(nullptr, record);
    ASSERT_EQ(content.PictureCount(), 4);
    EXPECT_EQ(content.Caption(0), "1/4 Harbour 12 August 2024 (a)");
    EXPECT_EQ(content.Caption(1), "2/4 Quay 1 May 2020 (b)");
    EXPECT_EQ(content.Caption(2), "3/4 Pier 2 June 2021 (c)");
    // Without a date of its own, a photo has its file's.
    const std::optional<TDateTime> written = FileModifiedLocal(dir.File("d.jpg"));
    ASSERT_TRUE(written);
    EXPECT_EQ(content.Caption(3), "4/4 " + FormatDate(*written, kDefaultDateFormat) + " (d)");
    EXPECT_EQ(content.Caption(4), std::nullopt); // gone since the look

    record.CaptionDateFormat = "%Y";
    record.CaptionTemplate = "{date}";
    EXPECT_EQ(TFolderContent(nullptr, record).Caption(0), "2024");
    // A template in error, or none, leaves the show's own text.
    record.CaptionTemplate = "{place}";
    EXPECT_EQ(TFolderContent(nullptr, record).Caption(0), std::nullopt);
    record.CaptionTemplate.clear();
    EXPECT_EQ(TFolderContent(nullptr, record).Caption(0), std::nullopt);
}

// The files an index lists.
std::vector<std::string> IndexedFiles(const std::string& index) {
    std::vector<std::string> files;
    for (const TIndexedPicture& picture : ReadFolderIndex(index))
        files.push_back(picture.File);
    return Generic(files);
}

// Starts rounds until the index is as `ready` wants it: on a busy machine
// a look may take longer than a round waits for it.
bool IndexBecomes(TFolderContent& content, const std::string& index,
                  const std::function<bool(const std::vector<TIndexedPicture>&)>& ready) {
    for (int round = 0; round < 100; ++round) {
        if (ready(ReadFolderIndex(index))) return true;
        content.Rescan();
    }
    return false;
}

// A folder saver keeps what its folders held for its next start: the index
// lists each picture once, in path order, and follows the folders.
TEST(FolderContent, TheIndexKeepsWhatTheLastLookFound) {
    namespace fs = std::filesystem;
    test::TScratchDir dir, user;
    const std::string index = user.File("per-user/folder-index.txt");
    test::WriteBytes(dir.File("b.jpg"), test::TestJpeg(20, 10));
    test::WriteBytes(dir.File("a.png"), test::AsBytes("x"));
    TSSFileLocations record(96);
    record.PictureFolders = {dir.Path()};
    {
        TFolderContent content(nullptr, record, index);
        EXPECT_TRUE(
            IndexBecomes(content, index, [](const auto& kept) { return kept.size() == 2; }));
        EXPECT_EQ(content.PictureCount(), 2);
        EXPECT_EQ(IndexedFiles(index), FilesOf(content));
        test::WriteBytes(dir.File("c.jpg"), test::TestJpeg(20, 10));
        EXPECT_TRUE(
            IndexBecomes(content, index, [](const auto& kept) { return kept.size() == 3; }));
        content.Rescan();
        EXPECT_EQ(content.PictureCount(), 3);
        EXPECT_EQ(IndexedFiles(index), FilesOf(content));
        // A picture gone since the look is passed over by the show.
        fs::remove(dir.File("b.jpg"));
        EXPECT_NE(test::ErrorOf([&] { content.Picture(1); }).find("b.jpg"), std::string::npos);
        EXPECT_EQ(content.Picture(2).Jpeg, test::TestJpeg(20, 10));
    }
    // What is not an index, or is cut short, lists nothing more than it
    // holds; a line that is not one of ours is passed over; the first
    // version's lines are files alone.
    test::WriteBytes(index, test::AsBytes("tevrin folder index 2\n/p/one.jpg\t5\t7\t6\t?\n"
                                          "/p/bad.jpg\tx\t7\t6\t?\n/p/tw"));
    const std::vector<TIndexedPicture> read = ReadFolderIndex(index);
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read[0].File, "/p/one.jpg");
    EXPECT_EQ(read[0].Size, 5u);
    EXPECT_EQ(read[0].Orientation, 6);
    EXPECT_FALSE(read[0].Taken);
    test::WriteBytes(index, test::AsBytes("tevrin folder index 1\n/p/one.jpg\n"));
    EXPECT_EQ(IndexedFiles(index), (std::vector<std::string>{"/p/one.jpg"}));
    test::WriteBytes(index, test::AsBytes("/p/one.jpg\n"));
    EXPECT_TRUE(ReadFolderIndex(index).empty());
    EXPECT_TRUE(ReadFolderIndex(user.File("none.txt")).empty());
}

// What showing a picture teaches (its orientation and date) is kept in the
// index with the file's size and time, for the next start, until the file
// changes.
TEST(FolderContent, TheIndexKeepsWhatShowingAPictureTaughtWhileTheFileStaysAsItWas) {
    test::TScratchDir dir, user;
    const std::string index = user.File("folder-index.txt");
    const test::TBytes photo = test::WithExifBlock(
        test::TestJpeg(20, 10), test::ExifTextBlock("Harbour", "2024:08:12 14:03:00"));
    test::WriteBytes(dir.File("a.jpg"), photo);
    TSSFileLocations record(96);
    record.PictureFolders = {dir.Path()};
    record.CaptionTemplate = "{date}";
    record.CaptionDateFormat = "%Y";
    {
        TFolderContent content(nullptr, record, index);
        EXPECT_FALSE(content.Learned(0));
        content.Picture(0);
        const std::optional<TIndexedPicture> learned = content.Learned(0);
        ASSERT_TRUE(learned);
        EXPECT_EQ(learned->Orientation, 1);
        EXPECT_EQ(learned->Taken, "2024:08:12 14:03:00");
        EXPECT_EQ(learned->Size, photo.size());
        EXPECT_TRUE(IndexBecomes(
            content, index, [](const auto& kept) { return kept.size() == 1 && kept[0].Taken; }));
    }
    const std::vector<TIndexedPicture> kept = ReadFolderIndex(index);
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(kept[0].Taken, "2024:08:12 14:03:00");
    EXPECT_EQ(kept[0].Size, photo.size());
    {
        // The next start knows it without reading the picture.
        TFolderContent content(nullptr, record, index);
        ASSERT_TRUE(content.Learned(0));
        EXPECT_EQ(content.Caption(0), "2024");
        // Changed since: taught anew when shown, and the index forgets it.
        test::WriteBytes(dir.File("a.jpg"), test::TestJpeg(30, 10));
        EXPECT_FALSE(content.Learned(0));
        EXPECT_TRUE(IndexBecomes(
            content, index, [](const auto& kept) { return kept.size() == 1 && !kept[0].Taken; }));
    }
}

} // namespace
} // namespace tevrin
