// SPDX-License-Identifier: MIT
// Writes the fuzzers' seed corpora: a small saver made by the pack tool's
// library, the bare streams it is built from, and Exif blocks.
//   tevrin-fuzz-seeds STUB PICTURE.jpg SOUND OUTPUT_FOLDER
#include "gfx/Exif.h"
#include "gfx/Jpeg.h"
#include "gfx/Png.h"
#include "payload/Image.h"
#include "payload/Payload.h"
#include "tools/Pack.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#ifdef TEVRIN_HAVE_LCMS2
#include <lcms2.h>
#endif

namespace {

void Write(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

} // namespace

int main(int argc, char** argv) {
    using namespace tevrin;
    if (argc != 5) {
        std::fprintf(stderr, "usage: tevrin-fuzz-seeds STUB PICTURE.jpg SOUND OUTPUT_FOLDER\n");
        return 2;
    }
    std::filesystem::path out = argv[4];
    std::filesystem::create_directories(out / "payload");
    std::filesystem::create_directories(out / "stream");

    TPackJob job;
    job.Stub = argv[1];
    job.Output = (out / "payload" / "seed.scr").string();
    job.Pictures = {argv[2]};
    job.Sounds = {argv[3]};
    job.Record.Title = "Seed";
    job.Record.Text = "caption";
    job.Record.Interval = 2000;
    job.Record.Ver = "photo";
    PackSaver(job);

    TSSFileLocations record(96);
    TTempFolder temp;
    LoadPayload(job.Output, record, temp);
    RemoveExtractedFiles(record, temp);
    Write(out / "stream" / "record.bin", WriteComponent(record));
    std::ifstream jpeg(argv[2], std::ios::binary);
    TImage image;
    image.Picture.JpegData.assign(std::istreambuf_iterator<char>(jpeg), {});
    Write(out / "stream" / "picture.bin", WriteComponent(image));

#ifdef TEVRIN_HAVE_LCMS2
    // A picture with a wide-gamut profile in two APP2 chunks, as editors
    // split large ones.
    {
        const cmsCIExyY white = {0.3127, 0.3290, 1.0};
        const cmsCIExyYTRIPLE primaries = {{0.68, 0.32, 1}, {0.265, 0.69, 1}, {0.15, 0.06, 1}};
        cmsToneCurve* gamma = cmsBuildGamma(nullptr, 2.2);
        cmsToneCurve* curves[3] = {gamma, gamma, gamma};
        cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
        cmsUInt32Number icc_size = 0;
        cmsSaveProfileToMem(profile, nullptr, &icc_size);
        std::vector<std::uint8_t> icc(icc_size);
        cmsSaveProfileToMem(profile, icc.data(), &icc_size);
        cmsCloseProfile(profile);
        cmsFreeToneCurve(gamma);
        TBitmap24 small(24, 16);
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 24 * 3; ++x)
                small.Row(y)[x] = static_cast<std::uint8_t>(x * 3 + y * 11);
        std::vector<std::uint8_t> jpeg = EncodeJpeg(small, 80);
        std::vector<std::uint8_t> tagged(jpeg.begin(), jpeg.begin() + 2);
        const std::size_t half = icc.size() / 2;
        for (int n = 1; n <= 2; ++n) {
            const std::size_t from = n == 1 ? 0 : half, to = n == 1 ? half : icc.size();
            const std::size_t length = 2 + 12 + 2 + (to - from);
            tagged.insert(tagged.end(), {0xFF, 0xE2, static_cast<std::uint8_t>(length >> 8),
                                         static_cast<std::uint8_t>(length)});
            const char signature[] = "ICC_PROFILE";
            tagged.insert(tagged.end(), signature, signature + sizeof signature);
            tagged.insert(tagged.end(), {static_cast<std::uint8_t>(n), 2});
            tagged.insert(tagged.end(), icc.begin() + static_cast<long>(from),
                          icc.begin() + static_cast<long>(to));
        }
        tagged.insert(tagged.end(), jpeg.begin() + 2, jpeg.end());
        std::filesystem::create_directories(out / "picture");
        Write(out / "picture" / "profiled.jpg", tagged);
    }
#endif

    // A PNG whose text chunk claims 2 GB of a file of a few hundred bytes.
    {
        std::vector<std::uint8_t> png = EncodePng(TBitmap24(8, 8));
        const std::uint8_t claim[] = {0x7C, 0x00, 0x02, 0x33, 'z', 'T', 'X', 't', 'x', 0, 0};
        png.insert(png.begin() + 33, std::begin(claim), std::end(claim));
        std::filesystem::create_directories(out / "picture");
        Write(out / "picture" / "text-claims-2gb.png", png);
    }

    // Exif blocks as cameras write them, in both byte orders.
    std::filesystem::create_directories(out / "exif");
    for (int orientation = 1; orientation <= 8; ++orientation)
        for (bool big_endian : {false, true}) {
            const std::vector<std::uint8_t> tagged =
                WithExifOrientation({}, orientation, big_endian);
            // The segment's payload: past its marker and length.
            Write(out / "exif" /
                      ("orientation-" + std::to_string(orientation) + (big_endian ? "-mm" : "-ii")),
                  std::vector<std::uint8_t>(tagged.begin() + 4, tagged.end()));
        }

    // Settings files as people and programs write them.
    std::filesystem::create_directories(out / "ini");
    const char* ini_seeds[] = {
        "[Setup]\r\nmute=1\r\n",
        "\xEF\xBB\xBF[Language]\nTitle=Titel: \nbtnOK=\"OK\"\n",
        "; comment\n[setup]\n  MUTE = 0  \n[Setup]\nmute=2\n",
        "[Language]\nTitle='quoted'\n[Other\nkey=value",
        "mute=1\n[Setup]",
        "\n\n[Setup]\r\r\nmute\n=x\n",
    };
    int n = 0;
    for (const char* seed : ini_seeds) {
        const std::string text = seed;
        Write(out / "ini" / ("case-" + std::to_string(n++)),
              std::vector<std::uint8_t>(text.begin(), text.end()));
    }
    return 0;
}
