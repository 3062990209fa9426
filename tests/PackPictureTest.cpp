// SPDX-License-Identifier: MIT
#include "base/Errors.h"
#include "gfx/ColorProfile.h"
#include "gfx/Copy.h"
#include "gfx/DecodeBudget.h"
#include "gfx/Exif.h"
#include "gfx/Jpeg.h"
#include "gfx/PictureFile.h"
#include "gfx/Png.h"
#include "payload/Payload.h"
#include "tests/TestSupport.h"
#include "tools/Pack.h"
#include "tools/Report.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>
#include <zlib.h>

#ifdef TEVRIN_HAVE_WEBP
#include <webp/encode.h>
#endif
#ifdef TEVRIN_HAVE_HEIF
#include <libheif/heif.h>
#endif
#ifdef TEVRIN_HAVE_LCMS2
#include <lcms2.h>
#endif

namespace tevrin {
namespace {

namespace fs = std::filesystem;
using test::TBgr;

// The picture as the pack stores it, decoded.
TBitmap24 Decoded(const TStoredPicture& stored) {
    const TJpegInfo info = ReadJpegInfo(stored.Jpeg.data(), stored.Jpeg.size());
    EXPECT_EQ(info.Width, stored.Width);
    EXPECT_EQ(info.Height, stored.Height);
    EXPECT_EQ(info.Orientation, 1) << "a stored picture needs no turning";
    EXPECT_FALSE(info.Cmyk);
    return DecodeJpeg(stored.Jpeg.data(), stored.Jpeg.size());
}

// The quarters' colours at their middles.
void ExpectQuarters(const TBitmap24& b, const char* what) {
    const int w = b.Width(), h = b.Height();
    EXPECT_TRUE(test::Near(test::PixelAt(b, w / 4, h / 4), test::kRed, 40)) << what;
    EXPECT_TRUE(test::Near(test::PixelAt(b, 3 * w / 4, h / 4), test::kGreen, 40)) << what;
    EXPECT_TRUE(test::Near(test::PixelAt(b, w / 4, 3 * h / 4), test::kBlue, 40)) << what;
    EXPECT_TRUE(test::Near(test::PixelAt(b, 3 * w / 4, 3 * h / 4), test::kWhite, 40)) << what;
}

TEST(PreparePicture, JpegsThatNeedNothingAreKeptByteForByte) {
    TPackJob job;
    for (auto [w, h] : {std::pair{64, 36}, {3840, 2160}, {2160, 3840}}) {
        const test::TBytes jpeg = test::TestJpeg(w, h);
        job.Limits.MaxWidth = std::max(w, h), job.Limits.MaxHeight = std::max(w, h);
        const TStoredPicture stored = PreparePicture(jpeg, job.Limits);
        EXPECT_EQ(stored.Jpeg, jpeg);
        EXPECT_FALSE(stored.Converted);
        EXPECT_EQ(stored.Width, w);
        EXPECT_EQ(stored.Height, h);
    }
    // No limit keeps the largest; an upright Exif block needs nothing either.
    job.Limits.MaxWidth = job.Limits.MaxHeight = 0;
    const test::TBytes upright = WithExifOrientation(test::TestJpeg(900, 300), 1);
    EXPECT_EQ(PreparePicture(upright, job.Limits).Jpeg, upright);
}

TEST(PreparePicture, TurnedPicturesAreStoredUpright) {
    TPackJob job;
    // A camera held sideways: the stored pixels lie a quarter turn away.
    const TBitmap24 scene = test::Quarters(96, 64);
    for (int orientation : {3, 6, 8}) {
        // Orientation 6 asks for a clockwise quarter turn: the camera stored
        // the scene turned anticlockwise (as orientation 8 turns it), and so on.
        const int stored_as = orientation == 6 ? 8 : orientation == 8 ? 6 : 3;
        const test::TBytes jpeg =
            WithExifOrientation(EncodeJpeg(TurnUpright(scene, stored_as), 95), orientation);
        const TStoredPicture stored = PreparePicture(jpeg, job.Limits);
        EXPECT_TRUE(stored.Converted);
        EXPECT_EQ(stored.Width, 96);
        EXPECT_EQ(stored.Height, 64);
        ExpectQuarters(Decoded(stored), "orientation");
    }
}

TEST(PreparePicture, LargerThanTheLimitIsScaledToFitIt) {
    TPackJob job;
    job.Limits.MaxWidth = 200, job.Limits.MaxHeight = 150;
    job.Limits.Quality = 80;
    const struct {
        int w, h, stored_w, stored_h;
    } cases[] = {
        {800, 400, 200, 100}, {400, 800, 75, 150}, {300, 150, 200, 100}, {201, 150, 200, 149}};
    for (const auto& c : cases) {
        const TStoredPicture stored =
            PreparePicture(EncodeJpeg(test::Quarters(c.w, c.h), 95), job.Limits);
        EXPECT_TRUE(stored.Converted);
        EXPECT_EQ(stored.Width, c.stored_w) << c.w << "x" << c.h;
        EXPECT_EQ(stored.Height, c.stored_h) << c.w << "x" << c.h;
        ExpectQuarters(Decoded(stored), "scaled");
    }
}

TEST(PreparePicture, InkPicturesBecomeRgb) {
    TPackJob job;
    for (test::TInkForm form :
         {test::TInkForm::PlainCmyk, test::TInkForm::AdobeCmyk, test::TInkForm::AdobeYcck}) {
        // Magenta and yellow ink make red; none at all is white paper.
        const test::TBytes jpeg =
            test::InkJpeg(64, 32, form, [](int x, int) -> std::array<std::uint8_t, 4> {
                return x < 32 ? std::array<std::uint8_t, 4>{0, 255, 255, 0}
                              : std::array<std::uint8_t, 4>{0, 0, 0, 0};
            });
        const TBitmap24 rgb = Decoded(PreparePicture(jpeg, job.Limits));
        EXPECT_TRUE(test::Near(test::PixelAt(rgb, 10, 16), test::kRed, 24))
            << static_cast<int>(form);
        EXPECT_TRUE(test::Near(test::PixelAt(rgb, 50, 16), test::kWhite, 24))
            << static_cast<int>(form);
    }
}

TEST(PreparePicture, TransparentPngsLieOnBlack) {
    TPackJob job;
    // Red, clear on the left, half covering on the right; interlaced or not.
    for (bool interlaced : {false, true}) {
        const test::TBytes png =
            test::RgbaPng(40, 20, interlaced, [](int x, int) -> std::array<std::uint8_t, 4> {
                return {255, 0, 0, static_cast<std::uint8_t>(x < 20 ? 0 : 128)};
            });
        const TBitmap24 shown = Decoded(PreparePicture(png, job.Limits));
        EXPECT_TRUE(test::Near(test::PixelAt(shown, 5, 10), test::kBlack, 12)) << interlaced;
        EXPECT_TRUE(test::Near(test::PixelAt(shown, 35, 10), {0, 0, 128}, 16)) << interlaced;
    }
}

// Text and other chunks no picture needs are passed over, whatever length
// they claim: one claiming 2 GB in a small file costs no memory (the
// fuzzers run with a limit on each allocation) and is named as the file
// ending early.
TEST(PreparePicture, PngChunksThePictureDoesNotNeedAreSkipped) {
    const test::TBytes plain = EncodePng(test::Quarters(40, 20));
    const TBitmap24 expected = DecodePng(plain);
    uLongf packed_size = 64;
    std::vector<std::uint8_t> packed(packed_size);
    compress(packed.data(), &packed_size, test::AsBytes("<x:xmpmeta/>").data(), 12);
    test::TBytes ztxt = test::AsBytes(std::string("Raw profile type xmp\0\0", 22));
    ztxt.insert(ztxt.end(), packed.begin(), packed.begin() + static_cast<long>(packed_size));
    test::TBytes annotated = test::PngWithChunk(plain, "zTXt", ztxt);
    annotated =
        test::PngWithChunk(annotated, "tEXt", test::AsBytes(std::string("Title\0Dunes", 11)));
    annotated = test::PngWithChunk(
        annotated, "iTXt", test::AsBytes(std::string("Title\0\0\0de\0Titel\0D\xC3\xBCnen", 23)));
    annotated =
        test::PngWithChunk(annotated, "eXIf", test::AsBytes(std::string("MM\0*\0\0\0\x08", 8)));
    EXPECT_TRUE(test::SamePixels(DecodePng(annotated), expected));
    EXPECT_EQ(
        test::ErrorOf([&] { DecodePng(test::PngWithChunk(plain, "zTXt", ztxt, 0x7C000233)); }),
        "PNG: the file ends early");
}

#ifdef TEVRIN_HAVE_WEBP
TEST(PreparePicture, WebpPicturesAreRead) {
    const TBitmap24 scene = test::Quarters(80, 60);
    std::uint8_t* encoded = nullptr;
    const std::size_t size = WebPEncodeLosslessBGR(scene.Bits(), 80, 60, scene.Stride(), &encoded);
    ASSERT_GT(size, 0u);
    const test::TBytes webp(encoded, encoded + size);
    WebPFree(encoded);
    EXPECT_EQ(SniffPictureFormat(webp), TPictureFormat::Webp);
    TPackJob job;
    const TStoredPicture stored = PreparePicture(webp, job.Limits);
    EXPECT_EQ(stored.Width, 80);
    ExpectQuarters(Decoded(stored), "WebP");
}
#endif

#ifdef TEVRIN_HAVE_HEIF
heif_error WriteToVector(heif_context*, const void* data, size_t size, void* out) {
    auto* bytes = static_cast<test::TBytes*>(out);
    bytes->insert(bytes->end(), static_cast<const std::uint8_t*>(data),
                  static_cast<const std::uint8_t*>(data) + size);
    return {heif_error_Ok, heif_suberror_Unspecified, "ok"};
}

// `scene` as a HEIC picture, `tag` given its image and the encoder's options
// to describe its colours; empty where this build's libheif cannot write
// HEIC.
test::TBytes HeicOf(const TBitmap24& scene,
                    const std::function<void(heif_image*, heif_encoding_options*)>& tag = {}) {
    const int w = scene.Width(), h = scene.Height();
    heif_context* context = heif_context_alloc();
    heif_encoder* encoder = nullptr;
    if (heif_context_get_encoder_for_format(context, heif_compression_HEVC, &encoder).code !=
        heif_error_Ok) {
        heif_context_free(context);
        return {};
    }
    heif_encoder_set_lossy_quality(encoder, 90);
    heif_image* image = nullptr;
    heif_image_create(w, h, heif_colorspace_RGB, heif_chroma_interleaved_RGB, &image);
    heif_image_add_plane(image, heif_channel_interleaved, w, h, 8);
    int stride = 0;
    std::uint8_t* plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int k = 0; k < 3; ++k)
                plane[y * stride + x * 3 + k] = scene.Row(y)[x * 3 + 2 - k];
    heif_encoding_options* options = heif_encoding_options_alloc();
    if (tag) tag(image, options);
    test::TBytes heic;
    heif_writer writer{1, WriteToVector};
    const bool encoded =
        heif_context_encode_image(context, image, encoder, options, nullptr).code == heif_error_Ok;
    heif_encoding_options_free(options);
    if (!encoded || heif_context_write(context, &writer, &heic).code != heif_error_Ok) heic.clear();
    heif_image_release(image);
    heif_encoder_release(encoder);
    heif_context_free(context);
    return heic;
}

TEST(PreparePicture, HeicPicturesAreRead) {
    const TBitmap24 scene = test::Quarters(128, 96);
    const test::TBytes heic = HeicOf(scene);
    if (heic.empty())
        GTEST_SKIP() << "this build's libheif decodes HEIC but cannot write it; the command-line "
                        "test reads one";
    EXPECT_EQ(SniffPictureFormat(heic), TPictureFormat::Heif);
    TPackJob job;
    const TStoredPicture stored = PreparePicture(heic, job.Limits);
    EXPECT_EQ(stored.Width, 128);
    EXPECT_EQ(stored.Height, 96);
    ExpectQuarters(Decoded(stored), "HEIC");
}
#endif

#ifdef TEVRIN_HAVE_LCMS2

TEST(ColourProfiles, WideGamutPhotosAreStoredInSrgbColours) {
    const TBitmap24 reference = test::Colourful(256, 128);
    const double saturation = test::MeanSaturation(reference);
    TPictureLimits limits;
    const struct {
        const char* what;
        std::vector<std::uint8_t> icc;
        const char* name; // the profile's own
        std::size_t chunk;
        bool png;
    } cases[] = {
        {"Adobe RGB", test::AdobeRgb(), "Adobe RGB (1998)", 65519, false},
        {"Display P3", test::DisplayP3(), "Display P3", 65519, false},
        {"Adobe RGB in chunks of 100 bytes", test::AdobeRgb(), "Adobe RGB (1998)", 100, false},
        {"Display P3 in a PNG", test::DisplayP3(), "Display P3", 0, true}};
    for (const auto& c : cases) {
        const TBitmap24 pixels = test::InProfile(reference, c.icc);
        const test::TBytes file =
            c.png ? test::PngWithProfile(
                        test::RgbaPng(256, 128, false,
                                      [&](int x, int y) {
                                          const std::uint8_t* p = pixels.Row(y) + 3 * x;
                                          return std::array<std::uint8_t, 4>{p[2], p[1], p[0], 255};
                                      }),
                        c.icc)
                  : test::WithProfile(EncodeJpeg(pixels, 95), c.icc, c.chunk);
        const TStoredPicture stored = PreparePicture(file, limits);
        EXPECT_TRUE(stored.Warning.empty()) << c.what << ": " << stored.Warning;
        EXPECT_EQ(stored.ColoursFrom, c.name) << c.what;
        const TBitmap24 shown = Decoded(stored);
        EXPECT_TRUE(EmbeddedProfile(stored.Jpeg).empty()) << c.what;
        EXPECT_GE(test::Psnr(shown, reference), 34.0) << c.what;
        EXPECT_NEAR(test::MeanSaturation(shown) / saturation, 1.0, 0.03) << c.what;
        // Read as if sRGB, the same pixels are duller and further off.
        if (!c.png) {
            EXPECT_LT(test::Psnr(DecodeJpeg(file.data(), file.size()), reference), 32.0) << c.what;
        }
    }
}

TEST(ColourProfiles, SrgbUntaggedOrUnreadableProfilesKeepThePictureAsItIs) {
    TPictureLimits limits;
    const test::TBytes jpeg = EncodeJpeg(test::Colourful(64, 32), 90);
    const test::TBytes srgb = test::WithProfile(jpeg, test::SrgbProfile());
    for (const test::TBytes& kept : {jpeg, srgb}) {
        const TStoredPicture stored = PreparePicture(kept, limits);
        EXPECT_EQ(stored.Jpeg, kept);
        EXPECT_TRUE(stored.ColoursFrom.empty());
        EXPECT_TRUE(stored.Warning.empty());
    }
    // A profile cut short (a chunk missing) is no profile; one that is no
    // profile at all is passed over with a warning. Either way the picture
    // is stored as it was.
    const std::vector<std::uint8_t> garbage(300, 0x5A);
    const test::TBytes missing = test::WithProfile(jpeg, test::AdobeRgb(), 200, 2);
    const test::TBytes corrupt = test::WithProfile(jpeg, garbage);
    EXPECT_EQ(PreparePicture(missing, limits).Jpeg, missing);
    EXPECT_TRUE(PreparePicture(missing, limits).Warning.empty());
    const TStoredPicture stored = PreparePicture(corrupt, limits);
    EXPECT_EQ(stored.Jpeg, corrupt);
    EXPECT_EQ(stored.Warning, msg::kProfileUnreadable);
}

TEST(ColourProfiles, InspectNamesTheProfileAStoredPictureCarries) {
    test::TScratchDir dir;
    const test::TBytes jpeg = EncodeJpeg(test::Colourful(32, 16), 90);
    test::TSaverParts parts;
    parts.Pictures = {test::WithProfile(jpeg, test::AdobeRgb()), jpeg};
    TSSFileLocations record(96);
    const std::string saver = dir.File("classic.scr");
    test::WriteBytes(saver, test::BuildSaver(parts, record));
    const nlohmann::ordered_json report = InspectSaver(saver);
    const auto& items = report["Items"];
    ASSERT_GE(items.size(), 2u);
    EXPECT_EQ(items[0]["Record"]["Picture"]["ColourProfile"], "Adobe RGB (1998)");
    EXPECT_FALSE(items[1]["Record"]["Picture"].contains("ColourProfile"));
    EXPECT_NE(SaverReport(report).find("carries a colour profile"), std::string::npos);
}

TEST(ColourProfiles, CmykPhotosPrintTheColoursTheirProfileMeans) {
    const TBitmap24 reference = test::Colourful(128, 64);
    const std::vector<std::uint8_t> icc = test::PaleInkProfile();
    for (test::TInkForm form : {test::TInkForm::PlainCmyk, test::TInkForm::AdobeCmyk}) {
        const test::TBytes inks = test::InkJpeg(128, 64, form, [&](int x, int y) {
            return test::PaleInksFor(reference.Row(y) + 3 * x);
        });
        const TStoredPicture stored =
            PreparePicture(test::WithProfile(inks, icc), TPictureLimits());
        EXPECT_EQ(stored.ColoursFrom, "Pale inks");
        EXPECT_GE(test::Psnr(Decoded(stored), reference), 34.0) << static_cast<int>(form);
        // The plain formula takes the pale inks for full ones.
        EXPECT_LT(test::Psnr(Decoded(PreparePicture(inks, TPictureLimits())), reference), 30.0);
    }
}

#ifdef TEVRIN_HAVE_HEIF
// A phone's HEIC in Display P3, told by its ICC profile or by its colour
// description (nclx) alone.
TEST(ColourProfiles, HeicColourBoxesAreHonoured) {
    const TBitmap24 reference = test::Colourful(128, 64);
    const TBitmap24 p3 = test::InProfile(reference, test::DisplayP3());
    const std::vector<std::uint8_t> icc = test::DisplayP3();
    const test::TBytes plain = HeicOf(p3);
    if (plain.empty()) GTEST_SKIP() << "this build's libheif cannot write HEIC";
    const test::TBytes with_icc = HeicOf(p3, [&](heif_image* image, heif_encoding_options*) {
        heif_image_set_raw_color_profile(image, "prof", icc.data(), icc.size());
    });
    heif_color_profile_nclx* nclx = heif_nclx_color_profile_alloc();
    heif_nclx_color_profile_set_color_primaries(nclx, heif_color_primaries_SMPTE_EG_432_1);
    heif_nclx_color_profile_set_transfer_characteristics(
        nclx, heif_transfer_characteristic_IEC_61966_2_1);
    // Written as its own box, as phones write it (by default the library
    // leaves it out for an old viewer's sake).
    const test::TBytes with_nclx = HeicOf(p3, [&](heif_image* image, heif_encoding_options* o) {
        heif_image_set_nclx_color_profile(image, nclx);
        o->macOS_compatibility_workaround_no_nclx_profile = 0;
        o->output_nclx_profile = nclx;
    });
    heif_nclx_color_profile_free(nclx);
    const double as_srgb = test::Psnr(Decoded(PreparePicture(plain, TPictureLimits())), reference);
    for (const test::TBytes* heic : {&with_icc, &with_nclx}) {
        const double shown =
            test::Psnr(Decoded(PreparePicture(*heic, TPictureLimits())), reference);
        EXPECT_GE(shown, 30.0) << (heic == &with_icc ? "ICC" : "nclx");
        EXPECT_GT(shown, as_srgb + 4) << (heic == &with_icc ? "ICC" : "nclx");
    }
}
#endif

#ifdef TEVRIN_HAVE_WEBP
// A WebP in the extended format, its ICCP chunk before the picture.
TEST(ColourProfiles, WebpProfilesAreHonoured) {
    const TBitmap24 reference = test::Colourful(96, 48);
    const TBitmap24 p3 = test::InProfile(reference, test::DisplayP3());
    std::uint8_t* encoded = nullptr;
    const std::size_t size = WebPEncodeLosslessBGR(p3.Bits(), 96, 48, p3.Stride(), &encoded);
    ASSERT_GT(size, 12u);
    const test::TBytes simple(encoded, encoded + size);
    WebPFree(encoded);
    auto chunk = [](const char* name, const std::vector<std::uint8_t>& data) {
        const auto n = static_cast<std::uint32_t>(data.size());
        test::TBytes out(name, name + 4);
        out.insert(out.end(),
                   {static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(n >> 8),
                    static_cast<std::uint8_t>(n >> 16), static_cast<std::uint8_t>(n >> 24)});
        out.insert(out.end(), data.begin(), data.end());
        if (n & 1) out.push_back(0);
        return out;
    };
    // VP8X: the ICC flag, then the canvas's width and height less one.
    const std::vector<std::uint8_t> header = {0x20, 0, 0, 0, 95, 0, 0, 47, 0, 0};
    test::TBytes body = {'W', 'E', 'B', 'P'};
    for (const test::TBytes& part : {chunk("VP8X", header), chunk("ICCP", test::DisplayP3())})
        body.insert(body.end(), part.begin(), part.end());
    body.insert(body.end(), simple.begin() + 12, simple.end()); // its VP8L chunk
    const auto riff = static_cast<std::uint32_t>(body.size());
    test::TBytes webp = {'R',
                         'I',
                         'F',
                         'F',
                         static_cast<std::uint8_t>(riff),
                         static_cast<std::uint8_t>(riff >> 8),
                         static_cast<std::uint8_t>(riff >> 16),
                         static_cast<std::uint8_t>(riff >> 24)};
    webp.insert(webp.end(), body.begin(), body.end());
    const TStoredPicture stored = PreparePicture(webp, TPictureLimits());
    EXPECT_EQ(stored.ColoursFrom, "Display P3");
    EXPECT_GE(test::Psnr(Decoded(stored), reference), 34.0);
}
#endif

TEST(ColourProfiles, GrayPhotosConvertThroughTheirProfileToo) {
    // A linear gray ramp, as a scanner might store it, with its profile.
    TBitmap24 reference(256, 16), linear(256, 16);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 256; ++x) {
            const double v = x / 255.0;
            const double lin = v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
            for (int k = 0; k < 3; ++k) {
                reference.Row(y)[3 * x + k] = static_cast<std::uint8_t>(x);
                linear.Row(y)[3 * x + k] = static_cast<std::uint8_t>(std::lround(lin * 255));
            }
        }
    cmsToneCurve* gamma = cmsBuildGamma(nullptr, 1.0);
    const cmsCIExyY white = {0.3127, 0.3290, 1.0};
    const std::vector<std::uint8_t> icc =
        test::SavedProfile(cmsCreateGrayProfile(&white, gamma), "Linear gray");
    cmsFreeToneCurve(gamma);
    const TStoredPicture stored =
        PreparePicture(test::WithProfile(test::GrayJpeg(linear), icc), TPictureLimits());
    EXPECT_EQ(stored.ColoursFrom, "Linear gray");
    // Dark levels lose steps in 8 linear bits: the light half is compared.
    const TBitmap24 shown = Decoded(stored);
    int worst = 0;
    for (int x = 128; x < 256; ++x)
        worst = std::max(worst, std::abs(test::PixelAt(shown, x, 8)[1] - x));
    EXPECT_LE(worst, 4);
}

#endif

TEST(PreparePicture, WhatIsNoPictureSaysSo) {
    TPackJob job;
    EXPECT_EQ(
        test::ErrorOf([&] { PreparePicture(test::AsBytes("plain text, no picture"), job.Limits); }),
        "Not a picture this program reads (JPEG, PNG, WebP, HEIC)");
    EXPECT_NE(
        test::ErrorOf([&] { PreparePicture(test::AsBytes("\x89PNG\r\n\x1A\nshort"), job.Limits); }),
        "(no error)");
}

TEST(PackFolders, PicturesInNaturalNameOrderWithOrWithoutSubfolders) {
    test::TScratchDir dir;
    fs::create_directories(dir.File("album/day 2"));
    for (const char* name :
         {"IMG_10.jpg", "img_9.JPG", "IMG_0100.jpeg", "b.png", "notes.txt", "day 2/x.webp"})
        test::WriteBytes(dir.File(std::string("album/") + name), test::AsBytes("x"));
    auto names = [&](bool recursive) {
        std::vector<std::string> out;
        for (const std::string& path :
             ExpandPicturePaths({dir.File("album"), dir.File("album/b.png")}, recursive))
            out.push_back(fs::relative(path, dir.Path()).generic_string());
        return out;
    };
    EXPECT_EQ(names(false),
              (std::vector<std::string>{"album/b.png", "album/img_9.JPG", "album/IMG_10.jpg",
                                        "album/IMG_0100.jpeg", "album/b.png"}));
    EXPECT_EQ(names(true),
              (std::vector<std::string>{"album/b.png", "album/day 2/x.webp", "album/img_9.JPG",
                                        "album/IMG_10.jpg", "album/IMG_0100.jpeg", "album/b.png"}));
    fs::create_directories(dir.File("empty"));
    EXPECT_NE(test::ErrorOf([&] {
                  ExpandPicturePaths({dir.File("empty")}, true);
              }).find("No pictures in the folder"),
              std::string::npos);
}

TEST(Repack, AClassicSaverKeepsItsItemsAndSettings) {
    test::TScratchDir dir;
    test::TSaverParts parts;
    parts.Pictures = {test::TestJpeg(40, 30), WithExifOrientation(test::TestJpeg(30, 20), 6)};
    parts.Sounds = {{"song.wav", test::AsBytes("RIFF song")}};
    TSSFileLocations classic(96);
    classic.Title = "Old";
    classic.Interval = 3000;
    classic.Ver = "photo";
    classic.SetCommaText(TSSFileLocations::DescriptList, "kept");
    test::WriteBytes(dir.File("old.scr"), test::BuildSaver(parts, classic));

    TSaverContents contents = ReadSaverContents(dir.File("old.scr"));
    EXPECT_EQ(contents.Record.Title, "Old");
    ASSERT_EQ(contents.Pictures.size(), 2u);
    EXPECT_EQ(contents.Pictures[0].Read(), parts.Pictures[0]);
    test::WriteBytes(dir.File("stub"), test::AsBytes("MZ new runtime"));
    TPackJob job;
    job.Stub = dir.File("stub");
    job.Output = dir.File("new.scr");
    job.Record = contents.Record;
    job.Record.Title = "New";
    job.Pictures = contents.Pictures;
    job.Sounds = contents.Sounds;
    PackSaver(job);

    TSSFileLocations loaded(96);
    test::TScratchDir temp;
    TTempFolder folder(temp.Path());
    ASSERT_EQ(LoadPayload(job.Output, loaded, folder).Result, TLoadOutcome::Loaded);
    EXPECT_EQ(loaded.Title, "New");
    EXPECT_EQ(loaded.Interval, 3000);
    EXPECT_EQ(loaded.FitMode, TFitMode::fmNatural); // a classic saver keeps showing as it did
    EXPECT_EQ(loaded.CommaText(TSSFileLocations::DescriptList), "kept");
    EXPECT_EQ(test::ReadBytes(folder.PathFor("song.wav")), test::AsBytes("RIFF song"));
    RemoveExtractedFiles(loaded, folder);
    // The first picture as it was; the turned one now upright, 20 x 30.
    EXPECT_EQ(FetchPicture(job.Output, loaded, 0)->Picture.JpegData, parts.Pictures[0]);
    const auto turned = FetchPicture(job.Output, loaded, 1);
    EXPECT_EQ(turned->Picture.Info.Orientation, 1);
    EXPECT_EQ(turned->Picture.Info.Width, 20);
    EXPECT_EQ(turned->Picture.Info.Height, 30);
    EXPECT_EQ(FetchPicture(job.Output, loaded, 1)->Width, 20);

    test::WriteBytes(dir.File("plain.txt"),
                     test::AsBytes("no saver at all, just forty and more bytes of text"));
    EXPECT_THROW(ReadSaverContents(dir.File("plain.txt")), EError);
}

TEST(Repack, OnlyTheItemsTheSaverItselfWouldReadAreTakenAndEachOnce) {
    test::TScratchDir dir;
    test::TSaverParts parts;
    parts.Pictures = {test::TestJpeg(40, 30), test::TestJpeg(20, 20)};
    parts.Sounds = {{"a.wav", test::AsBytes("RIFF sound a")}, {"b.wav", test::AsBytes("RIFF b")}};
    TSSFileLocations record(96);
    const test::TBytes saver = test::BuildSaver(parts, record);
    const std::string first_picture = record.List(TSSFileLocations::PicList)[0];
    record.List(TSSFileLocations::PicFileNamesList) = {"one.jpg", "two.jpg"};
    auto add = [&](TSSFileLocations::TListId offsets, TSSFileLocations::TListId names,
                   const std::string& at, const std::string& name) {
        record.List(offsets).push_back(at);
        record.List(names).push_back(name);
    };
    // The first picture listed again, and a "picture" in the runtime.
    add(TSSFileLocations::PicList, TSSFileLocations::PicFileNamesList, first_picture, "again.jpg");
    add(TSSFileLocations::PicList, TSSFileLocations::PicFileNamesList, "0", "stub.jpg");
    // Sounds over another's bytes, over a picture, in the runtime, past the end.
    auto sound = [&](const std::string& at, int size, const std::string& name) {
        add(TSSFileLocations::SndList, TSSFileLocations::SndFileNamesList, at, name);
        record.List(TSSFileLocations::SndSizesList).push_back(std::to_string(size));
    };
    const std::string sound_a = record.List(TSSFileLocations::SndList)[0];
    sound(sound_a, 12, "twice.wav");
    sound(first_picture, 8, "picture.wav");
    sound("2", 10, "runtime.wav");
    sound(std::to_string(saver.size() + 100000), 10, "past.wav");
    test::WriteBytes(dir.File("hostile.scr"), test::AppendRecord(saver, WriteComponent(record)));

    const TSaverContents contents = ReadSaverContents(dir.File("hostile.scr"));
    ASSERT_EQ(contents.Pictures.size(), 2u);
    EXPECT_EQ(contents.Pictures[1].Read(), parts.Pictures[1]);
    ASSERT_EQ(contents.Sounds.size(), 2u);
    EXPECT_EQ(contents.Sounds[0].Read(), parts.Sounds[0].second);
    EXPECT_EQ(contents.Sounds[1].Read(), parts.Sounds[1].second);
    ASSERT_EQ(contents.Skipped.size(), 6u);
    EXPECT_NE(contents.Skipped[0].find("picture 3 (again.jpg) is picture 1 again"),
              std::string::npos)
        << contents.Skipped[0];
    EXPECT_NE(contents.Skipped[1].find("picture 4 (stub.jpg) lies outside the payload"),
              std::string::npos)
        << contents.Skipped[1];
    for (int i = 2; i < 4; ++i)
        EXPECT_NE(contents.Skipped[static_cast<std::size_t>(i)].find("overlaps"), std::string::npos)
            << contents.Skipped[static_cast<std::size_t>(i)];
    for (int i = 4; i < 6; ++i)
        EXPECT_NE(contents.Skipped[static_cast<std::size_t>(i)].find("outside the payload"),
                  std::string::npos)
            << contents.Skipped[static_cast<std::size_t>(i)];
}

TEST(DecodeBudget, DecodesOnSeveralThreadsShareOneBudgetAndReturnTheirShares) {
    EXPECT_EQ(test::ErrorOf([] { TDecodeReservation all(kDecodeBudgetBytes + 1, "PNG", 9, 9); }),
              "PNG image is too large (9x9 pixels)");
    std::atomic<bool> second_has_it = false;
    std::thread second;
    {
        TDecodeReservation first(kDecodeBudgetBytes - 100, "PNG", 1, 1);
        second = std::thread([&] {
            TDecodeReservation more(200, "PNG", 1, 1);
            second_has_it = true;
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        EXPECT_FALSE(second_has_it) << "the second decode waits while the first holds the budget";
    }
    second.join();
    EXPECT_TRUE(second_has_it);
    // Every decoder returns what it took, whether it succeeds or fails.
    const test::TBytes jpeg = test::TestJpeg(64, 48);
    DecodeUpright(jpeg);
    EXPECT_THROW(DecodeUpright(std::span(jpeg).first(jpeg.size() / 3)), EError);
    const test::TBytes png = EncodePng(DecodeUpright(jpeg));
    DecodeUpright(png);
    EXPECT_THROW(DecodeUpright(std::span(png).first(png.size() / 2)), EError);
    EXPECT_EQ(DecodeBudgetInUse(), 0u);
}

} // namespace
} // namespace tevrin
