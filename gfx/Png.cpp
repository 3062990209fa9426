// SPDX-License-Identifier: MIT
#include "gfx/Png.h"

#include "base/Errors.h"
#include "base/Paths.h"
#include "gfx/DecodeBudget.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <optional>
#include <png.h>
#include <string_view>
#include <vector>

namespace tevrin {
namespace {

extern "C" void OnPngError(png_structp png, png_const_charp message) {
    auto* text = static_cast<std::string*>(png_get_error_ptr(png));
    *text = message;
    png_longjmp(png, 1);
}

extern "C" void OnPngWarning(png_structp, png_const_charp) {}

extern "C" void WriteToMemory(png_structp png, png_bytep data, png_size_t count) {
    auto* out = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + count);
}

extern "C" void FlushNothing(png_structp) {}

} // namespace

std::vector<std::uint8_t> EncodePng(const TBitmap24& bitmap) {
    std::vector<std::uint8_t> out;
    std::string error;
    png_structp png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, &error, OnPngError, OnPngWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info) {
        png_destroy_write_struct(&png, nullptr);
        throw EError("Out of memory writing a PNG");
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        throw EError(error);
    }
    png_set_write_fn(png, &out, WriteToMemory, FlushNothing);
    png_set_IHDR(png, info, static_cast<png_uint_32>(bitmap.Width()),
                 static_cast<png_uint_32>(bitmap.Height()), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_set_bgr(png);
    for (int y = 0; y < bitmap.Height(); ++y)
        png_write_row(png, const_cast<png_bytep>(bitmap.Row(y)));
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

void WritePng(const std::string& path, const TBitmap24& bitmap) {
    const std::vector<std::uint8_t> png = EncodePng(bitmap);
    std::ofstream file(PathOf(path), std::ios::binary);
    file.write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
    if (!file.flush()) throw EError(msg::kCannotCreateFile, {path});
}

namespace {

struct TPngSource {
    std::span<const std::uint8_t> bytes;
    std::size_t at = 0;
};

extern "C" void ReadFromMemory(png_structp png, png_bytep out, png_size_t count) {
    auto* source = static_cast<TPngSource*>(png_get_io_ptr(png));
    if (count > source->bytes.size() - source->at) png_error(png, "the file ends early");
    std::memcpy(out, source->bytes.data() + source->at, count);
    source->at += count;
}

// What the decoding needs across libpng's error jump: plain data only, so
// that the jump skips no destructor.
struct TPngDecode {
    TPngSource source;
    std::string* error;
    TBitmap24* out;
    png_bytep* rows = nullptr; // malloc'd, freed by the caller
    bool too_large = false;
    int width = 0, height = 0;
};

// Returns false when libpng failed, with its message in `*d.error`.
bool RunPngDecode(TPngDecode& d) {
    png_structp png =
        png_create_read_struct(PNG_LIBPNG_VER_STRING, d.error, OnPngError, OnPngWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        *d.error = "out of memory";
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_set_read_fn(png, &d.source, ReadFromMemory);
    png_set_user_limits(png, 1u << 20, 1u << 20);
    // Chunks the picture does not need, which libpng would read whole into
    // memory of the size they claim (more than the file holds is only a
    // warning to it): skipped as they are read.
    static constexpr png_byte kUnused[] = "tEXt\0zTXt\0iTXt\0sPLT\0eXIf\0pCAL\0sCAL";
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, kUnused, sizeof kUnused / 5);
    png_read_info(png, info);
    d.width = static_cast<int>(png_get_image_width(png, info));
    d.height = static_cast<int>(png_get_image_height(png, info));
    if (static_cast<std::uint64_t>(d.width) * d.height * 3 > kMaxPictureBytes) {
        d.too_large = true;
        png_destroy_read_struct(&png, &info, nullptr);
        return true;
    }
    png_set_expand(png);
    png_set_strip_16(png);
    png_set_gray_to_rgb(png);
    // Transparency over black, in the stored values (no gamma).
    png_color_16 black{};
    png_set_background_fixed(png, &black, PNG_BACKGROUND_GAMMA_SCREEN, 0, PNG_FP_1);
    png_set_bgr(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != static_cast<png_size_t>(d.width) * 3)
        png_error(png, "unexpected pixel format");
    *d.out = TBitmap24(d.width, d.height);
    d.rows = static_cast<png_bytep*>(
        std::malloc(sizeof(png_bytep) * static_cast<std::size_t>(d.height)));
    if (d.rows == nullptr) png_error(png, "out of memory");
    for (int y = 0; y < d.height; ++y)
        d.rows[y] = d.out->Row(y);
    png_read_image(png, d.rows);
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

std::uint32_t BigEndian32(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           p[3];
}

// What the chunks of a PNG say before any is inflated: the picture's size,
// the fewest bytes its rows inflate to, and how many compressed bytes there
// are. Nothing without a header; libpng says then what is wrong.
struct TPngLayout {
    int Width = 0, Height = 0;
    std::uint64_t RowBytes = 0; // of one row as stored
    std::uint64_t Compressed = 0;
};

std::optional<TPngLayout> ReadPngLayout(std::span<const std::uint8_t> bytes) {
    std::optional<TPngLayout> layout;
    std::uint64_t compressed = 0;
    for (std::size_t at = 8; at + 8 <= bytes.size();) {
        const std::uint64_t length = BigEndian32(&bytes[at]);
        const std::string_view type(reinterpret_cast<const char*>(&bytes[at + 4]), 4);
        const std::size_t data = at + 8;
        if (type == "IHDR" && length >= 13 && data + 13 <= bytes.size() && !layout) {
            static constexpr int kChannels[] = {1, 0, 3, 1, 2, 0, 4};
            const int color = bytes[data + 9];
            const int channels = color < 7 ? kChannels[color] : 0;
            layout = TPngLayout{
                static_cast<int>(BigEndian32(&bytes[data])),
                static_cast<int>(BigEndian32(&bytes[data + 4])),
                (std::uint64_t{BigEndian32(&bytes[data])} * channels * bytes[data + 8] + 7) / 8};
        } else if (type == "IDAT") {
            compressed += std::min<std::uint64_t>(length, bytes.size() - data);
        } else if (type == "IEND") {
            break;
        }
        at = data + static_cast<std::size_t>(std::min<std::uint64_t>(length + 4, bytes.size()));
    }
    if (layout) layout->Compressed = compressed;
    return layout;
}

} // namespace

TBitmap24 DecodePng(std::span<const std::uint8_t> bytes) {
    // Deflate makes at most 1032 bytes of one: rows that need more than
    // the data could give are refused before a byte of them is allocated.
    constexpr std::uint64_t kMostInflated = 1032;
    const std::optional<TPngLayout> layout = ReadPngLayout(bytes);
    std::optional<TDecodeReservation> reservation;
    if (layout && layout->Width > 0 && layout->Height > 0) {
        const std::string size =
            std::to_string(layout->Width) + "x" + std::to_string(layout->Height);
        const std::uint64_t pixels = static_cast<std::uint64_t>(layout->Width) * layout->Height;
        if (pixels * 3 > kMaxPictureBytes) throw EError(msg::kImageTooLarge, {"PNG", size});
        if (layout->RowBytes * static_cast<std::uint64_t>(layout->Height) / kMostInflated >
            layout->Compressed + 64)
            throw EError(msg::kImageEndsEarly, {"PNG", size});
        // Our picture and its row table; libpng itself keeps a few rows.
        const std::uint64_t rows = static_cast<std::uint64_t>(layout->Width) * 8 + 64;
        reservation.emplace(pixels * 3 + static_cast<std::uint64_t>(layout->Height) * (8 + 4) +
                                rows * 4,
                            "PNG", layout->Width, layout->Height);
    }
    std::string error;
    TBitmap24 out;
    TPngDecode d{{bytes}, &error, &out};
    const bool ok = RunPngDecode(d);
    std::free(d.rows);
    if (!ok) throw EError("PNG: " + error);
    if (d.too_large)
        throw EError(msg::kImageTooLarge,
                     {"PNG", std::to_string(d.width) + "x" + std::to_string(d.height)});
    return out;
}

} // namespace tevrin
