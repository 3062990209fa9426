#include "gfx/Png.h"

#include "base/Errors.h"
#include "base/Paths.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <png.h>
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

} // namespace

TBitmap24 DecodePng(std::span<const std::uint8_t> bytes) {
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
