// SPDX-License-Identifier: MIT
// Renders the sample pictures and the sample sound that ship in samples/:
// procedural landscapes and patterns of several sizes and aspect ratios
// (two larger than 1920x1080, one of them camera-sized; two portraits, one
// stored on its side as cameras do, with an Exif orientation) and a short
// melody as a WAV file.
//
//   tevrin-mksamples OUTPUT_FOLDER
//
// The committed pictures then got an XMP title and an Exif date each, for
// the demo's caption template (samples/demo.json), with
//   exiftool -overwrite_original -XMP-dc:Title=TITLE -DateTimeOriginal=DATE FILE
#include "gfx/Bitmap24.h"
#include "gfx/Copy.h"
#include "gfx/Exif.h"
#include "gfx/Jpeg.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <numbers>
#include <string>
#include <vector>

namespace {

using tevrin::TBitmap24;

struct TRgb {
    double r, g, b;
};

TRgb Mix(TRgb a, TRgb b, double t) {
    t = std::clamp(t, 0.0, 1.0);
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

// u, v in [0, 1): position in the picture; the result in 0..255 per channel.
using TShader = std::function<TRgb(double u, double v, double aspect)>;

TBitmap24 Render(int width, int height, const TShader& shade) {
    TBitmap24 bitmap(width, height);
    double aspect = static_cast<double>(width) / height;
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = bitmap.Row(y);
        for (int x = 0; x < width; ++x) {
            TRgb c = shade((x + 0.5) / width, (y + 0.5) / height, aspect);
            row[x * 3] = static_cast<std::uint8_t>(std::clamp(c.b, 0.0, 255.0));
            row[x * 3 + 1] = static_cast<std::uint8_t>(std::clamp(c.g, 0.0, 255.0));
            row[x * 3 + 2] = static_cast<std::uint8_t>(std::clamp(c.r, 0.0, 255.0));
        }
    }
    return bitmap;
}

TRgb Dunes(double u, double v, double aspect) {
    TRgb sky = Mix({250, 170, 90}, {60, 90, 170}, 1 - v * 1.8);
    double sun = std::hypot((u - 0.7) * aspect, v - 0.3);
    if (sun < 0.08) sky = Mix({255, 245, 200}, sky, sun / 0.08 * 0.3);
    for (int layer = 0; layer < 4; ++layer) {
        double crest = 0.55 + layer * 0.1 + 0.05 * std::sin(u * (6 + layer * 3) + layer * 1.7) +
                       0.02 * std::sin(u * 23 + layer);
        if (v > crest) {
            double shade = 0.55 + 0.45 * std::cos((u * (6 + layer * 3) + layer * 1.7));
            return Mix({120 + layer * 30.0, 70 + layer * 20.0, 40}, {230, 170, 100},
                       shade * (1 - (v - crest) * 2));
        }
    }
    return sky;
}

TRgb Lighthouse(double u, double v, double) {
    TRgb sky = Mix({20, 30, 80}, {240, 140, 120}, v * 1.4);
    if (v > 0.78) {
        double wave = 0.5 + 0.5 * std::sin(u * 60 + std::sin(v * 90) * 2);
        return Mix({20, 60, 110}, {90, 150, 190}, wave * (v - 0.78) * 4);
    }
    if (std::abs(u - 0.5) < 0.06 - (0.78 - v) * 0.03 && v > 0.3) {
        bool band = static_cast<int>(v * 20) % 2 == 0;
        return band ? TRgb{230, 40, 40} : TRgb{245, 245, 240};
    }
    double beam = std::abs((v - 0.28) - (u - 0.5) * 0.25);
    if (v < 0.3 && u > 0.5 && beam < 0.03) return Mix({255, 250, 190}, sky, beam / 0.03);
    return sky;
}

TRgb Rings(double u, double v, double) {
    double r = std::hypot(u - 0.5, v - 0.5), a = std::atan2(v - 0.5, u - 0.5);
    double petals = std::cos(a * 8 + r * 25);
    double t = 0.5 + 0.5 * std::sin(r * 60 + petals * 2);
    return Mix({40, 20, 90}, {250, 200, 60}, t * (1.2 - r * 1.6));
}

TRgb Mountains(double u, double v, double) {
    TRgb color = Mix({190, 220, 250}, {90, 140, 210}, 1 - v * 2);
    for (int range = 0; range < 3; ++range) {
        double peak = 0.35 + range * 0.17 + 0.12 * std::abs(std::sin(u * (4 + range * 2) + range)) -
                      0.08 * std::abs(std::sin(u * 17 + range * 3));
        if (v > peak) {
            double depth = 1.0 - range * 0.3;
            color = Mix({40, 70, 60}, {150, 170, 190}, depth);
            if (range == 0 && v < peak + 0.04) color = {250, 250, 255};
        }
    }
    return color;
}

TRgb Plasma(double u, double v, double) {
    double t =
        std::sin(u * 12) + std::sin(v * 9 + u * 4) + std::sin(std::hypot(u - 0.3, v - 0.6) * 20);
    return {128 + 127 * std::sin(t * 1.5), 128 + 127 * std::sin(t * 1.5 + 2.1),
            128 + 127 * std::sin(t * 1.5 + 4.2)};
}

TRgb Ocean(double u, double v, double) {
    if (v < 0.45) return Mix({255, 200, 150}, {120, 170, 230}, 1 - v * 2.2);
    double swell = std::sin(u * 40 + v * 300) * std::sin(u * 7 - v * 50);
    return Mix({10, 50, 90}, {60, 140, 180}, 0.5 + 0.3 * swell + (v - 0.45));
}

// A harbour at dusk: hills, a sea with glints and moored boats; rendered at
// a phone camera's size, larger than most screens.
TRgb Harbour(double u, double v, double aspect) {
    TRgb sky = Mix({250, 190, 120}, {70, 80, 150}, 1 - v * 2.2);
    const double hills = 0.42 + 0.05 * std::sin(u * 5 + 1) + 0.02 * std::sin(u * 19);
    if (v < hills) return sky;
    if (v < 0.5) return Mix({60, 80, 70}, {110, 120, 100}, (0.5 - v) * 8);
    TRgb sea = Mix({40, 70, 110}, {20, 40, 70}, (v - 0.5) * 2);
    const double glint = std::sin(u * 400 + std::sin(v * 700) * 3) * std::sin(v * 900);
    if (glint > 0.92 && std::abs(u - 0.62) < 0.2)
        sea = Mix(sea, {255, 220, 160}, (glint - 0.92) * 10);
    for (int boat = 0; boat < 5; ++boat) {
        const double bu = 0.12 + boat * 0.18, bv = 0.62 + (boat % 2) * 0.12,
                     size = 0.03 + boat * 0.004;
        if (std::abs(u - bu) * aspect < size * 2 && v > bv - size && v < bv)
            return {200 - boat * 20.0, 60, 50};
        if (std::abs(u - bu) * aspect < size * 0.1 && v > bv - size * 5 && v < bv - size)
            return {230, 230, 220};
    }
    return sea;
}

// A poplar in a meadow under a high sky: a portrait picture.
TRgb Poplar(double u, double v, double aspect) {
    if (v > 0.8) return Mix({70, 140, 50}, {40, 90, 30}, (v - 0.8) * 5);
    TRgb sky = Mix({150, 200, 250}, {40, 90, 190}, 1 - v * 1.3);
    const double crown = std::hypot((u - 0.5) * aspect * 3.2, (v - 0.42) * 1.1);
    if (crown < 0.36) {
        const double leaves =
            0.5 + 0.5 * std::sin(u * 160 + std::sin(v * 120) * 2) * std::sin(v * 210);
        return Mix({30, 80, 30}, {90, 150, 60}, leaves * (1 - crown));
    }
    if (std::abs(u - 0.5) * aspect < 0.02 && v > 0.6) return {90, 60, 40};
    return sky;
}

void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    std::printf("wrote %s (%zu bytes)\n", path.c_str(), bytes.size());
}

// A short arpeggio, 16-bit mono PCM at 22,050 Hz.
std::vector<std::uint8_t> Melody() {
    const int rate = 22050;
    const double notes[] = {261.63, 329.63, 392.00, 523.25, 392.00, 329.63, 261.63, 196.00};
    const double note_length = 0.3;
    std::vector<std::int16_t> samples;
    for (double f : notes)
        for (int i = 0; i < static_cast<int>(rate * note_length); ++i) {
            double t = static_cast<double>(i) / rate;
            double envelope = std::min(1.0, t * 40) * std::exp(-t * 5);
            double s = std::sin(2 * std::numbers::pi * f * t) +
                       0.3 * std::sin(4 * std::numbers::pi * f * t);
            samples.push_back(static_cast<std::int16_t>(s * envelope * 9000));
        }
    std::vector<std::uint8_t> wav;
    auto u32 = [&](std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            wav.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    };
    auto u16 = [&](std::uint16_t v) {
        wav.push_back(static_cast<std::uint8_t>(v));
        wav.push_back(static_cast<std::uint8_t>(v >> 8));
    };
    std::uint32_t data_bytes = static_cast<std::uint32_t>(samples.size() * 2);
    wav.insert(wav.end(), {'R', 'I', 'F', 'F'});
    u32(36 + data_bytes);
    wav.insert(wav.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    u32(16);
    u16(1);
    u16(1);
    u32(rate);
    u32(rate * 2);
    u16(2);
    u16(16);
    wav.insert(wav.end(), {'d', 'a', 't', 'a'});
    u32(data_bytes);
    for (std::int16_t s : samples)
        u16(static_cast<std::uint16_t>(s));
    return wav;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: tevrin-mksamples OUTPUT_FOLDER\n");
        return 2;
    }
    std::string dir = argv[1];
    struct TSample {
        const char* name;
        int width, height;
        TShader shader;
    };
    const TSample samples[] = {
        {"01-dunes.jpg", 2560, 1440, Dunes},     {"02-lighthouse.jpg", 1080, 1620, Lighthouse},
        {"03-rings.jpg", 1200, 1200, Rings},     {"04-mountains.jpg", 1920, 800, Mountains},
        {"05-plasma.jpg", 640, 480, Plasma},     {"06-ocean.jpg", 1600, 1200, Ocean},
        {"07-harbour.jpg", 4032, 3024, Harbour},
    };
    for (const TSample& s : samples)
        WriteFile(dir + "/" + s.name, tevrin::EncodeJpeg(Render(s.width, s.height, s.shader), 88));
    // As a camera held upright stores a portrait: the pixels a quarter turn
    // anticlockwise, with Exif orientation 6 asking for the turn back.
    const TBitmap24 poplar = Render(1200, 1600, Poplar);
    WriteFile(
        dir + "/08-poplar.jpg",
        tevrin::WithExifOrientation(tevrin::EncodeJpeg(tevrin::TurnUpright(poplar, 8), 88), 6));
    WriteFile(dir + "/melody.wav", Melody());
    return 0;
}
