// SPDX-License-Identifier: MIT
#include "tests/TestSupport.h"

#include "base/Errors.h"
#include "base/Paths.h"
#include "base/System.h"
#include "gfx/Jpeg.h"
#include "payload/Image.h"
#include "payload/Trailer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <jpeglib.h>
#include <png.h>
#include <random>
#include <zlib.h>

#ifdef TEVRIN_HAVE_LCMS2
#include <lcms2.h>
#endif

namespace tevrin::test {

TScratchDir::TScratchDir() {
    std::random_device random;
    path_ = JoinPath(GetTempDir(), "tevrin-test-" + std::to_string(CurrentProcessId()) + "-" +
                                       std::to_string(random()));
    std::filesystem::create_directories(path_);
}

TScratchDir::~TScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string TScratchDir::File(const std::string& name) const {
    return JoinPath(path_, name);
}

TBytes ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::string& path, const TBytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

TBytes AsBytes(const std::string& text) {
    return TBytes(text.begin(), text.end());
}

TBgr PixelAt(const TBitmap24& bitmap, int x, int y) {
    const std::uint8_t* p = bitmap.Row(y) + x * bitmap.PixelBytes();
    return {p[0], p[1], p[2]};
}

void PutPixel(TBitmap24& bitmap, int x, int y, TBgr colour) {
    std::uint8_t* p = bitmap.Row(y) + x * bitmap.PixelBytes();
    for (int k = 0; k < 3; ++k)
        p[k] = static_cast<std::uint8_t>(colour[k]);
}

bool Near(TBgr a, TBgr b, int tolerance) {
    for (int k = 0; k < 3; ++k)
        if (std::abs(a[k] - b[k]) > tolerance) return false;
    return true;
}

bool SamePixels(const TBitmap24& a, const TBitmap24& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
    if (a.PixelBytes() != 3 || b.PixelBytes() != 3) {
        for (int y = 0; y < a.Height(); ++y)
            for (int x = 0; x < a.Width(); ++x)
                if (PixelAt(a, x, y) != PixelAt(b, x, y)) return false;
        return true;
    }
    for (int y = 0; y < a.Height(); ++y)
        if (std::memcmp(a.Row(y), b.Row(y), static_cast<std::size_t>(a.Width()) * 3) != 0)
            return false;
    return true;
}

TBitmap24 Quarters(int width, int height) {
    TBitmap24 b(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            PutPixel(b, x, y,
                     y < height / 2 ? (x < width / 2 ? kRed : kGreen)
                                    : (x < width / 2 ? kBlue : kWhite));
    return b;
}

TBitmap24 TestPicture(int width, int height) {
    TBitmap24 bitmap(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = bitmap.Row(y) + x * 3;
            p[0] = static_cast<std::uint8_t>(x * 255 / std::max(1, width - 1));
            p[1] = static_cast<std::uint8_t>(y * 255 / std::max(1, height - 1));
            p[2] = static_cast<std::uint8_t>((x / 8 + y / 8) % 2 ? 200 : 40);
        }
    return bitmap;
}

double MeanDifference(const TBitmap24& a, const TBitmap24& b) {
    long long sum = 0;
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < a.Width() * 3; ++x)
            sum += std::abs(a.Row(y)[x] - b.Row(y)[x]);
    return static_cast<double>(sum) / (3.0 * a.Width() * a.Height());
}

TBytes TestJpeg(int width, int height) {
    return EncodeJpeg(TestPicture(width, height), 90);
}

namespace {

// Compresses rows of `components` bytes a pixel; libjpeg's errors end the
// test program, which is what a broken helper deserves.
template <typename TFill>
TBytes Compress(int width, int height, J_COLOR_SPACE in, J_COLOR_SPACE stored, bool adobe,
                TFill fill, bool progressive = false) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long length = 0;
    jpeg_mem_dest(&cinfo, &buffer, &length);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = in == JCS_GRAYSCALE ? 1 : in == JCS_CMYK ? 4 : 3;
    cinfo.in_color_space = in;
    jpeg_set_defaults(&cinfo);
    jpeg_set_colorspace(&cinfo, stored);
    cinfo.write_Adobe_marker = adobe ? TRUE : FALSE;
    if (progressive) jpeg_simple_progression(&cinfo);
    jpeg_set_quality(&cinfo, 95, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<std::uint8_t> row(static_cast<std::size_t>(width) * cinfo.input_components);
    while (cinfo.next_scanline < cinfo.image_height) {
        fill(static_cast<int>(cinfo.next_scanline), row.data());
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    TBytes out(buffer, buffer + length);
    std::free(buffer);
    return out;
}

} // namespace

TBytes InkJpeg(int width, int height, TInkForm form,
               const std::function<std::array<std::uint8_t, 4>(int, int)>& ink) {
    const bool inverted = form != TInkForm::PlainCmyk;
    return Compress(width, height, JCS_CMYK, form == TInkForm::AdobeYcck ? JCS_YCCK : JCS_CMYK,
                    inverted, [&](int y, std::uint8_t* row) {
                        for (int x = 0; x < width; ++x) {
                            const std::array<std::uint8_t, 4> v = ink(x, y);
                            for (int k = 0; k < 4; ++k)
                                row[x * 4 + k] =
                                    static_cast<std::uint8_t>(inverted ? 255 - v[k] : v[k]);
                        }
                    });
}

namespace {

void AppendToBytes(png_structp png, png_bytep data, png_size_t size) {
    auto* out = static_cast<TBytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + size);
}

} // namespace

TBytes ExifTextBlock(const std::string& description, const std::string& taken, bool big_endian) {
    TBytes tiff;
    auto put16 = [&](std::size_t at, std::uint32_t v) {
        tiff[at] = static_cast<std::uint8_t>(big_endian ? v >> 8 : v);
        tiff[at + 1] = static_cast<std::uint8_t>(big_endian ? v : v >> 8);
    };
    auto put32 = [&](std::size_t at, std::uint32_t v) {
        put16(at + (big_endian ? 0 : 2), v >> 16);
        put16(at + (big_endian ? 2 : 0), v & 0xFFFF);
    };
    // A directory of (tag, type, count, value or text) entries at the end,
    // its texts after it; returns its offset.
    struct TEntry {
        std::uint16_t Tag, Type;
        std::uint32_t Value;
        std::string Text;
    };
    auto directory = [&](const std::vector<TEntry>& entries) {
        const std::size_t at = tiff.size();
        tiff.resize(at + 2 + 12 * entries.size() + 4);
        put16(at, static_cast<std::uint32_t>(entries.size()));
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const std::size_t e = at + 2 + 12 * i;
            const TEntry& entry = entries[i];
            put16(e, entry.Tag);
            put16(e + 2, entry.Type);
            if (entry.Type == 2) {
                const std::string text = entry.Text + '\0';
                put32(e + 4, static_cast<std::uint32_t>(text.size()));
                if (text.size() <= 4) {
                    std::copy(text.begin(), text.end(), tiff.begin() + static_cast<long>(e + 8));
                } else {
                    put32(e + 8, static_cast<std::uint32_t>(tiff.size()));
                    tiff.insert(tiff.end(), text.begin(), text.end());
                }
            } else {
                put32(e + 4, 1);
                put32(e + 8, entry.Value);
            }
        }
        return at;
    };
    tiff.resize(8);
    tiff[0] = tiff[1] = big_endian ? 'M' : 'I';
    put16(2, 42);
    put32(4, 8);
    std::vector<TEntry> first;
    if (!description.empty()) first.push_back({0x010E, 2, 0, description});
    first.push_back({0x8769, 4, 0, {}});
    const std::size_t pointer = directory(first) + 2 + 12 * (first.size() - 1) + 8;
    std::vector<TEntry> exif;
    if (!taken.empty()) exif.push_back({0x9003, 2, 0, taken});
    put32(pointer, static_cast<std::uint32_t>(directory(exif)));
    static constexpr char kSignature[6] = {'E', 'x', 'i', 'f', 0, 0};
    TBytes block(sizeof kSignature + tiff.size());
    std::copy(std::begin(kSignature), std::end(kSignature), block.begin());
    std::copy(tiff.begin(), tiff.end(), block.begin() + sizeof kSignature);
    return block;
}

TBytes WithExifBlock(const TBytes& jpeg, const TBytes& block) {
    const std::size_t first_end = 4 + (jpeg[4] << 8 | jpeg[5]);
    const std::size_t length = block.size() + 2;
    TBytes out(jpeg.begin(), jpeg.begin() + static_cast<long>(first_end));
    out.insert(out.end(), {0xFF, 0xE1, static_cast<std::uint8_t>(length >> 8),
                           static_cast<std::uint8_t>(length)});
    out.insert(out.end(), block.begin(), block.end());
    out.insert(out.end(), jpeg.begin() + static_cast<long>(first_end), jpeg.end());
    return out;
}

#ifdef TEVRIN_HAVE_LCMS2
namespace {

// An RGB profile of D65 white and the primaries given, each channel through
// `curve`.
cmsHPROFILE RgbProfile(const cmsCIExyYTRIPLE& primaries, cmsToneCurve* curve) {
    const cmsCIExyY white = {0.3127, 0.3290, 1.0};
    cmsToneCurve* curves[3] = {curve, curve, curve};
    cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
    cmsFreeToneCurve(curve);
    return profile;
}

} // namespace

std::vector<std::uint8_t> SavedProfile(void* profile, const char* name) {
    cmsMLU* description = cmsMLUalloc(nullptr, 1);
    cmsMLUsetASCII(description, "en", "US", name);
    cmsWriteTag(profile, cmsSigProfileDescriptionTag, description);
    cmsMLUfree(description);
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    std::vector<std::uint8_t> bytes(size);
    cmsSaveProfileToMem(profile, bytes.data(), &size);
    cmsCloseProfile(profile);
    return bytes;
}

std::vector<std::uint8_t> SrgbProfile() {
    return SavedProfile(cmsCreate_sRGBProfile(), "sRGB");
}

namespace {

// The press's colours for its inks, as CIE Lab.
cmsInt32Number SamplePaleInks(const cmsUInt16Number in[], cmsUInt16Number out[], void* transform) {
    const double black = 1 - in[3] / 65535.0;
    double rgb[3];
    for (int k = 0; k < 3; ++k)
        rgb[k] = std::pow(1 - in[k] / 65535.0, 0.75) * black;
    cmsCIELab lab;
    cmsDoTransform(static_cast<cmsHTRANSFORM>(transform), rgb, &lab, 1);
    cmsFloat2LabEncoded(out, &lab);
    return TRUE;
}

} // namespace

std::vector<std::uint8_t> PaleInkProfile() {
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    cmsHPROFILE lab = cmsCreateLab4Profile(nullptr);
    cmsHTRANSFORM to_lab =
        cmsCreateTransform(srgb, TYPE_RGB_DBL, lab, TYPE_Lab_DBL, INTENT_RELATIVE_COLORIMETRIC, 0);
    cmsHPROFILE profile = cmsCreateProfilePlaceholder(nullptr);
    cmsSetProfileVersion(profile, 4.3);
    cmsSetDeviceClass(profile, cmsSigOutputClass);
    cmsSetColorSpace(profile, cmsSigCmykData);
    cmsSetPCS(profile, cmsSigLabData);
    // The table between identity curves, as the profile format stores it.
    cmsPipeline* pipeline = cmsPipelineAlloc(nullptr, 4, 3);
    cmsStage* table = cmsStageAllocCLut16bit(nullptr, 17, 4, 3, nullptr);
    cmsStageSampleCLut16bit(table, SamplePaleInks, to_lab, 0);
    cmsPipelineInsertStage(pipeline, cmsAT_END, cmsStageAllocToneCurves(nullptr, 4, nullptr));
    cmsPipelineInsertStage(pipeline, cmsAT_END, table);
    cmsPipelineInsertStage(pipeline, cmsAT_END, cmsStageAllocToneCurves(nullptr, 3, nullptr));
    cmsWriteTag(profile, cmsSigAToB0Tag, pipeline);
    cmsWriteTag(profile, cmsSigMediaWhitePointTag, cmsD50_XYZ());
    cmsPipelineFree(pipeline);
    cmsDeleteTransform(to_lab);
    cmsCloseProfile(lab);
    cmsCloseProfile(srgb);
    return SavedProfile(profile, "Pale inks");
}

std::array<std::uint8_t, 4> PaleInksFor(const std::uint8_t* bgr) {
    std::array<std::uint8_t, 4> inks{};
    for (int k = 0; k < 3; ++k)
        inks[k] = static_cast<std::uint8_t>(
            std::lround(255 * (1 - std::pow(bgr[2 - k] / 255.0, 1 / 0.75))));
    return inks;
}

TBitmap24 PrintedOnPaleInks(const TBitmap24& reference) {
    const std::vector<std::uint8_t> icc = PaleInkProfile();
    cmsHPROFILE press = cmsOpenProfileFromMem(icc.data(), static_cast<cmsUInt32Number>(icc.size()));
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    cmsHTRANSFORM transform =
        cmsCreateTransform(press, TYPE_CMYK_8, srgb, TYPE_BGR_8, INTENT_PERCEPTUAL, 0);
    TBitmap24 printed(reference.Width(), reference.Height());
    for (int y = 0; y < reference.Height(); ++y)
        for (int x = 0; x < reference.Width(); ++x) {
            const std::array<std::uint8_t, 4> inks = PaleInksFor(reference.Row(y) + 3 * x);
            cmsDoTransform(transform, inks.data(), printed.Row(y) + 3 * x, 1);
        }
    cmsDeleteTransform(transform);
    cmsCloseProfile(srgb);
    cmsCloseProfile(press);
    return printed;
}

std::vector<std::uint8_t> AdobeRgb() {
    return SavedProfile(RgbProfile({{0.64, 0.33, 1}, {0.21, 0.71, 1}, {0.15, 0.06, 1}},
                                   cmsBuildGamma(nullptr, 563.0 / 256.0)),
                        "Adobe RGB (1998)");
}

std::vector<std::uint8_t> DisplayP3() {
    const double srgb_curve[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
    return SavedProfile(RgbProfile({{0.680, 0.320, 1}, {0.265, 0.690, 1}, {0.150, 0.060, 1}},
                                   cmsBuildParametricToneCurve(nullptr, 4, srgb_curve)),
                        "Display P3");
}

// `reference`'s sRGB colours as they stand in `icc`'s space.
TBitmap24 InProfile(const TBitmap24& reference, const std::vector<std::uint8_t>& icc) {
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    cmsHPROFILE target =
        cmsOpenProfileFromMem(icc.data(), static_cast<cmsUInt32Number>(icc.size()));
    cmsHTRANSFORM transform =
        cmsCreateTransform(srgb, TYPE_BGR_8, target, TYPE_BGR_8, INTENT_RELATIVE_COLORIMETRIC, 0);
    TBitmap24 pixels = reference;
    for (int y = 0; y < pixels.Height(); ++y)
        cmsDoTransform(transform, reference.Row(y), pixels.Row(y),
                       static_cast<cmsUInt32Number>(pixels.Width()));
    cmsDeleteTransform(transform);
    cmsCloseProfile(target);
    cmsCloseProfile(srgb);
    return pixels;
}

#endif

// `jpeg` with `icc` in APP2 "ICC_PROFILE" chunks of at most `chunk` bytes
// after its first segment; `skip` leaves one chunk (its number) out.
TBytes WithProfile(const TBytes& jpeg, const std::vector<std::uint8_t>& icc, std::size_t chunk,
                   int skip) {
    const std::size_t first_end = 4 + (jpeg[4] << 8 | jpeg[5]);
    TBytes out(jpeg.begin(), jpeg.begin() + static_cast<long>(first_end));
    const int count = static_cast<int>((icc.size() + chunk - 1) / chunk);
    for (int n = 1; n <= count; ++n) {
        if (n == skip) continue;
        const std::size_t from = (n - 1) * chunk, size = std::min(chunk, icc.size() - from);
        const std::size_t length = 2 + 12 + 2 + size;
        out.insert(out.end(), {0xFF, 0xE2, static_cast<std::uint8_t>(length >> 8),
                               static_cast<std::uint8_t>(length)});
        const char signature[] = "ICC_PROFILE";
        out.insert(out.end(), signature, signature + sizeof signature);
        out.insert(out.end(), {static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(count)});
        out.insert(out.end(), icc.begin() + static_cast<long>(from),
                   icc.begin() + static_cast<long>(from + size));
    }
    out.insert(out.end(), jpeg.begin() + static_cast<long>(first_end), jpeg.end());
    return out;
}

// `png` with an iCCP chunk of `icc` after its header chunk.
TBytes PngWithChunk(const TBytes& png, std::string_view type, const TBytes& content,
                    std::optional<std::uint32_t> claimed) {
    TBytes data(type.begin(), type.end());
    data.insert(data.end(), content.begin(), content.end());
    const std::uint32_t length = claimed.value_or(static_cast<std::uint32_t>(content.size()));
    TBytes chunk = {static_cast<std::uint8_t>(length >> 24),
                    static_cast<std::uint8_t>(length >> 16), static_cast<std::uint8_t>(length >> 8),
                    static_cast<std::uint8_t>(length)};
    chunk.insert(chunk.end(), data.begin(), data.end());
    const uLong crc = crc32(0, data.data(), static_cast<uInt>(data.size()));
    chunk.insert(chunk.end(),
                 {static_cast<std::uint8_t>(crc >> 24), static_cast<std::uint8_t>(crc >> 16),
                  static_cast<std::uint8_t>(crc >> 8), static_cast<std::uint8_t>(crc)});
    TBytes out = png;
    out.insert(out.begin() + 33, chunk.begin(), chunk.end()); // after the signature and IHDR
    return out;
}

TBytes PngWithProfile(const TBytes& png, const std::vector<std::uint8_t>& icc) {
    uLongf packed_size = compressBound(static_cast<uLong>(icc.size()));
    std::vector<std::uint8_t> packed(packed_size);
    compress(packed.data(), &packed_size, icc.data(), static_cast<uLong>(icc.size()));
    packed.resize(packed_size);
    TBytes data = {'P', '3', 0, 0};
    data.insert(data.end(), packed.begin(), packed.end());
    return PngWithChunk(png, "iCCP", data);
}

// Colours of every hue, from grey to full, light to dark.
TBitmap24 Colourful(int w, int h) {
    TBitmap24 b(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const double hue = 6.0 * x / w, sat = 0.3 + 0.7 * (y % (h / 2)) / (h / 2),
                         light = y < h / 2 ? 0.85 : 0.5;
            const double f = hue - std::floor(hue);
            const double rgb[6][3] = {{1, f, 0},     {1 - f, 1, 0}, {0, 1, f},
                                      {0, 1 - f, 1}, {f, 0, 1},     {1, 0, 1 - f}};
            const double* c = rgb[static_cast<int>(hue) % 6];
            std::uint8_t* p = b.Row(y) + 3 * x;
            for (int k = 0; k < 3; ++k)
                p[2 - k] =
                    static_cast<std::uint8_t>(std::lround(255 * light * (1 - sat + sat * c[k])));
        }
    return b;
}

double Psnr(const TBitmap24& a, const TBitmap24& b) {
    double sum = 0;
    for (int y = 0; y < a.Height(); ++y)
        for (int k = 0; k < 3 * a.Width(); ++k) {
            const double d = a.Row(y)[k] - b.Row(y)[k];
            sum += d * d;
        }
    const double mse = sum / (3.0 * a.Width() * a.Height());
    return 10 * std::log10(255.0 * 255.0 / std::max(mse, 1e-9));
}

// The mean HSL saturation.
double MeanSaturation(const TBitmap24& b) {
    double sum = 0;
    for (int y = 0; y < b.Height(); ++y)
        for (int x = 0; x < b.Width(); ++x) {
            const std::uint8_t* p = b.Row(y) + 3 * x;
            const double hi = std::max({p[0], p[1], p[2]}) / 255.0,
                         lo = std::min({p[0], p[1], p[2]}) / 255.0, l = (hi + lo) / 2;
            if (hi > lo) sum += (hi - lo) / (1 - std::abs(2 * l - 1));
        }
    return sum / (b.Width() * b.Height());
}

TBytes RgbaPng(int width, int height, bool interlaced,
               const std::function<std::array<std::uint8_t, 4>(int, int)>& pixel) {
    std::vector<std::uint8_t> rgba(static_cast<std::size_t>(width) * height * 4);
    std::vector<png_bytep> rows(static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y) {
        rows[y] = &rgba[static_cast<std::size_t>(y) * width * 4];
        for (int x = 0; x < width; ++x) {
            const auto p = pixel(x, y);
            std::copy(p.begin(), p.end(), rows[y] + x * 4);
        }
    }
    TBytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &out, AppendToBytes, nullptr);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGBA, interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_image(png, rows.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

TBytes ProgressiveJpeg(const TBitmap24& picture) {
    return Compress(
        picture.Width(), picture.Height(), JCS_EXT_BGR, JCS_YCbCr, false,
        [&](int y, std::uint8_t* row) {
            std::copy(picture.Row(y), picture.Row(y) + picture.Width() * 3, row);
        },
        true);
}

TBytes GrayJpeg(const TBitmap24& picture) {
    return Compress(picture.Width(), picture.Height(), JCS_GRAYSCALE, JCS_GRAYSCALE, false,
                    [&](int y, std::uint8_t* row) {
                        for (int x = 0; x < picture.Width(); ++x)
                            row[x] = picture.Row(y)[x * 3 + 1];
                    });
}

std::string ErrorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const EError& e) {
        return e.what();
    }
    return "(no error)";
}

TBytes AppendRecord(TBytes saver, const TBytes& record) {
    const std::string old_length(saver.end() - kTrailerSize,
                                 saver.end() - kTrailerSize + kTrailerFieldWidth);
    saver.resize(saver.size() - kTrailerSize);
    auto at = static_cast<std::int64_t>(saver.size());
    saver.insert(saver.end(), record.begin(), record.end());
    // The payload grows by the record.
    std::string trailer =
        MakeTrailer(std::stoll(old_length) + static_cast<std::int64_t>(record.size()), at);
    saver.insert(saver.end(), trailer.begin(), trailer.end());
    return saver;
}

TBytes BuildSaver(const TSaverParts& parts, TSSFileLocations& record) {
    TBytes file = parts.Stub;
    auto append = [&](const TBytes& bytes) {
        auto at = static_cast<std::int32_t>(file.size());
        file.insert(file.end(), bytes.begin(), bytes.end());
        return std::to_string(at);
    };
    for (int list = 0; list < TSSFileLocations::kListCount; ++list)
        if (list != TSSFileLocations::DescriptList)
            record.List(static_cast<TSSFileLocations::TListId>(list)).clear();
    for (const TBytes& jpeg : parts.Pictures) {
        TImage image;
        image.Picture.JpegData = jpeg;
        record.List(TSSFileLocations::PicList).push_back(append(WriteComponent(image)));
    }
    auto raw = [&](const auto& items, auto offsets, auto names, auto sizes) {
        for (const auto& [name, bytes] : items) {
            record.List(offsets).push_back(append(bytes));
            record.List(names).push_back(name);
            record.List(sizes).push_back(std::to_string(bytes.size()));
        }
    };
    raw(parts.Sounds, TSSFileLocations::SndList, TSSFileLocations::SndFileNamesList,
        TSSFileLocations::SndSizesList);
    raw(parts.Movies, TSSFileLocations::FlashList, TSSFileLocations::FlashFileNamesList,
        TSSFileLocations::FlashSizesList);
    std::string record_at = append(WriteComponent(record));
    std::string trailer = MakeTrailer(static_cast<std::int64_t>(file.size() - parts.Stub.size()),
                                      std::stoll(record_at));
    file.insert(file.end(), trailer.begin(), trailer.end());
    return file;
}

} // namespace tevrin::test
