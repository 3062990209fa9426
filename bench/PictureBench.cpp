// SPDX-License-Identifier: MIT
// What a picture change costs: decoding a camera-sized JPEG and composing it
// for the screen (fmShrink, as new savers are packed), against libjpeg-turbo
// decoding the same file as its own djpeg does, measured in the same run.
//
//   picture_bench [--size WxH] [--repetitions N] [photo.jpg ...]
//
// Without files it makes two photograph-like pictures, 6000x4000 and
// 2560x1600. The goals: the large one within 1.5 times djpeg -scale 1/2, a
// picture that is decoded at full size within 1.5 times djpeg; and no more
// bitmap memory than the screen-sized canvas and one DCT-scaled decode.
// Then each kind of JPEG (baseline, progressive, grayscale) decoded at full
// size against djpeg on the same file: within 1.15 times. Exits 3 when a
// goal is missed.
#include "base/Sizes.h"
#include "gfx/Compose.h"
#include "gfx/Jpeg.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <jpeglib.h>
#include <random>
#include <string>
#include <tuple>
#include <vector>

namespace {

using namespace tevrin;
using TBytes = std::vector<std::uint8_t>;

// Hills, sky and grain: the statistics of a photograph, so the file has a
// photograph's size and costs as much to decode.
TBytes PhotoLike(int w, int h) {
    TBitmap24 b(w, h);
    std::mt19937 random(7);
    std::uniform_int_distribution<int> grain(-12, 12);
    for (int y = 0; y < h; ++y) {
        std::uint8_t* row = b.Row(y);
        for (int x = 0; x < w; ++x) {
            const double u = static_cast<double>(x) / w, v = static_cast<double>(y) / h;
            const double ridge = 0.55 + 0.08 * std::sin(u * 9.1) + 0.05 * std::sin(u * 23.7 + 1.3);
            const double detail =
                std::sin(u * 310 + v * 170) * std::sin(v * 260 - u * 90) +
                0.5 * std::sin(u * 1900 + 7 * std::sin(v * 40)) * std::sin(v * 1500);
            int r, g, bl;
            if (v < ridge) {
                r = static_cast<int>(90 + 120 * v), g = static_cast<int>(140 + 90 * v), bl = 230;
            } else {
                r = static_cast<int>(70 + 40 * detail + 60 * u),
                g = static_cast<int>(110 + 35 * detail), bl = 50;
            }
            const int n = grain(random);
            row[x * 3] = static_cast<std::uint8_t>(std::clamp(bl + n, 0, 255));
            row[x * 3 + 1] = static_cast<std::uint8_t>(std::clamp(g + n, 0, 255));
            row[x * 3 + 2] = static_cast<std::uint8_t>(std::clamp(r + n, 0, 255));
        }
    }
    return EncodeJpeg(b, 92);
}

// libjpeg-turbo's djpeg: default settings, RGB rows into a buffer, at a
// given scale.
void DecodeAsDjpeg(const TBytes& jpeg, unsigned scale_denom) {
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&cinfo, TRUE);
    cinfo.scale_num = 1;
    cinfo.scale_denom = scale_denom;
    jpeg_start_decompress(&cinfo);
    JSAMPARRAY rows =
        (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                   cinfo.output_width * cinfo.output_components,
                                   static_cast<JDIMENSION>(cinfo.rec_outbuf_height));
    while (cinfo.output_scanline < cinfo.output_height)
        jpeg_read_scanlines(&cinfo, rows, static_cast<JDIMENSION>(cinfo.rec_outbuf_height));
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
}

// The bitmap as a progressive JPEG, or as a grayscale one, written as
// cameras and editors write them (libjpeg-turbo's defaults, quality 92).
TBytes EncodeKind(const TBitmap24& bitmap, bool progressive, bool gray) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &out, &size);
    cinfo.image_width = static_cast<JDIMENSION>(bitmap.Width());
    cinfo.image_height = static_cast<JDIMENSION>(bitmap.Height());
    cinfo.input_components = gray ? 1 : 3;
    cinfo.in_color_space = gray ? JCS_GRAYSCALE : JCS_EXT_BGR;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 92, TRUE);
    if (progressive) jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<std::uint8_t> gray_row(static_cast<std::size_t>(bitmap.Width()));
    while (cinfo.next_scanline < cinfo.image_height) {
        const std::uint8_t* row = bitmap.Row(static_cast<int>(cinfo.next_scanline));
        if (gray)
            for (int x = 0; x < bitmap.Width(); ++x)
                gray_row[x] = static_cast<std::uint8_t>(
                    (row[x * 3] + 6 * row[x * 3 + 1] + 3 * row[x * 3 + 2]) / 10);
        JSAMPROW rows[1] = {const_cast<JSAMPROW>(gray ? gray_row.data() : row)};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    TBytes bytes(out, out + size);
    std::free(out);
    return bytes;
}

double FastestMs(int repetitions, const std::function<void()>& work) {
    double best = 1e30;
    for (int i = 0; i < repetitions; ++i) {
        const auto start = std::chrono::steady_clock::now();
        work();
        best = std::min(best, std::chrono::duration<double, std::milli>(
                                  std::chrono::steady_clock::now() - start)
                                  .count());
    }
    return best;
}

} // namespace

int main(int argc, char** argv) {
    int sw = 1920, sh = 1080, repetitions = 5;
    std::vector<std::pair<std::string, TBytes>> pictures;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--size" && i + 1 < argc) {
            const std::optional<TSize> size = ParseSize(argv[++i], 16);
            if (!size) return 2;
            sw = size->Width;
            sh = size->Height;
        } else if (arg == "--repetitions" && i + 1 < argc) {
            repetitions = std::max(1, std::atoi(argv[++i]));
        } else {
            std::ifstream in(arg, std::ios::binary);
            if (!in) {
                std::fprintf(stderr, "picture_bench: cannot open %s\n", arg.c_str());
                return 2;
            }
            pictures.emplace_back(arg, TBytes{std::istreambuf_iterator<char>(in), {}});
        }
    }
    if (pictures.empty()) {
        pictures.emplace_back("generated 6000x4000", PhotoLike(6000, 4000));
        pictures.emplace_back("generated 2560x1600", PhotoLike(2560, 1600));
    }
    constexpr double kTimeGoal = 1.5;
    bool met = true;
    std::printf("Picture change for a %dx%d screen (fmShrink), fastest of %d\n", sw, sh,
                repetitions);
    for (const auto& picture : pictures) {
        const std::string& name = picture.first;
        const TBytes& jpeg = picture.second;
        const TJpegInfo info = ReadJpegInfo(jpeg.data(), jpeg.size());
        const TRect place = PlacePicture(info.Width, info.Height, sw, sh, TFitMode::fmShrink);
        // The reference scale: djpeg's largest halving that still covers the
        // picture's place, as a user would ask djpeg for it.
        unsigned denom = 1;
        while (denom < 8 && static_cast<int>(info.Width / (denom * 2)) >= place.Width() &&
               static_cast<int>(info.Height / (denom * 2)) >= place.Height())
            denom *= 2;
        const double reference = FastestMs(repetitions, [&] { DecodeAsDjpeg(jpeg, denom); });
        const std::size_t before = TBitmap24::LiveBytes();
        TBitmap24::ResetPeak();
        const double ours =
            FastestMs(repetitions, [&] { ComposeJpeg(jpeg, sw, sh, TFitMode::fmShrink, false); });
        const std::size_t peak = TBitmap24::PeakBytes() - before;
        const TBitmap24 decoded = DecodeJpeg(
            jpeg.data(), jpeg.size(), {.MinWidth = place.Width(), .MinHeight = place.Height()});
        const std::size_t floor =
            TBitmap24(sw, sh).ByteSize() + decoded.ByteSize() + 2 * TBitmap24::kSlack;
        const double ratio = ours / reference;
        const bool time_ok = ratio <= kTimeGoal, memory_ok = peak <= floor;
        met = met && time_ok && memory_ok;
        std::printf(
            "  %s, %.1f MB: djpeg -scale 1/%u %.1f ms, decode at %dx%d and compose %.1f ms: "
            "ratio %.2f (goal %.2f) %s\n",
            name.c_str(), jpeg.size() / 1e6, denom, reference, decoded.Width(), decoded.Height(),
            ours, ratio, kTimeGoal, time_ok ? "ok" : "MISSED");
        std::printf("    bitmap memory at its peak %.1f MB, screen and decode %.1f MB: %s\n",
                    peak / 1e6, floor / 1e6, memory_ok ? "ok" : "MISSED");
    }
    // Decoding alone at full size, each kind of JPEG against djpeg on the
    // same file.
    constexpr double kDecodeGoal = 1.15;
    const TBitmap24 scene =
        DecodeJpeg(pictures.back().second.data(), pictures.back().second.size());
    std::printf("Full-size decode of the %dx%d picture against djpeg, fastest of %d\n",
                scene.Width(), scene.Height(), repetitions);
    for (const auto& [kind, progressive, gray] :
         {std::tuple{"baseline", false, false}, std::tuple{"progressive", true, false},
          std::tuple{"grayscale", false, true}}) {
        const TBytes jpeg = EncodeKind(scene, progressive, gray);
        const double reference = FastestMs(repetitions, [&] { DecodeAsDjpeg(jpeg, 1); });
        const double ours = FastestMs(repetitions, [&] { DecodeJpeg(jpeg.data(), jpeg.size()); });
        const double ratio = ours / reference;
        met = met && ratio <= kDecodeGoal;
        std::printf("  %s: djpeg %.1f ms, ours %.1f ms: ratio %.2f (goal %.2f) %s\n", kind,
                    reference, ours, ratio, kDecodeGoal, ratio <= kDecodeGoal ? "ok" : "MISSED");
    }
    return met ? 0 : 3;
}
