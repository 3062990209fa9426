// SPDX-License-Identifier: MIT
// Writes the fuzzers' seed corpora: a small saver made by the pack tool's
// library, the bare streams it is built from, and Exif blocks.
//   tevrin-fuzz-seeds STUB PICTURE.jpg SOUND OUTPUT_FOLDER
#include "gfx/Exif.h"
#include "payload/Image.h"
#include "payload/Payload.h"
#include "tools/Pack.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

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
