#include "gfx/Png.h"

#include "gfx/Errors.h"

#include <csetjmp>
#include <cstdio>
#include <memory>
#include <vector>

#include <png.h>

namespace tevrin {
namespace {

struct TFileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using TFilePtr = std::unique_ptr<std::FILE, TFileCloser>;

extern "C" void OnPngError(png_structp png, png_const_charp message) {
    auto* text = static_cast<std::string*>(png_get_error_ptr(png));
    *text = message;
    png_longjmp(png, 1);
}

extern "C" void OnPngWarning(png_structp, png_const_charp) {}

} // namespace

void WritePng(const std::string& path, const TBitmap24& bitmap) {
    TFilePtr file(std::fopen(path.c_str(), "wb"));
    if (!file) throw EError(msg::kCannotCreateFile, {path});
    std::string error;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &error, OnPngError, OnPngWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info) {
        png_destroy_write_struct(&png, nullptr);
        throw EError("Out of memory writing " + path);
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        throw EError(error + ": " + path);
    }
    png_init_io(png, file.get());
    png_set_IHDR(png, info, static_cast<png_uint_32>(bitmap.Width()),
                 static_cast<png_uint_32>(bitmap.Height()), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_set_bgr(png);
    for (int y = 0; y < bitmap.Height(); ++y)
        png_write_row(png, const_cast<png_bytep>(bitmap.Row(y)));
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
}

TBitmap24 ReadPng(const std::string& path) {
    TFilePtr file(std::fopen(path.c_str(), "rb"));
    if (!file) throw EError(msg::kCannotOpenFile, {path});
    std::string error;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &error, OnPngError, OnPngWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        throw EError("Out of memory reading " + path);
    }
    // Filled once the header is read; the pointer itself never changes after
    // setjmp, so it is valid when libpng jumps back.
    auto result = std::make_unique<TBitmap24>();
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        throw EError(error + ": " + path);
    }
    png_init_io(png, file.get());
    png_set_user_limits(png, 32768, 32768);
    png_read_info(png, info);
    png_set_expand(png);
    png_set_strip_16(png);
    png_set_strip_alpha(png);
    png_set_gray_to_rgb(png);
    png_set_bgr(png);
    png_read_update_info(png, info);
    *result = TBitmap24(static_cast<int>(png_get_image_width(png, info)),
                        static_cast<int>(png_get_image_height(png, info)));
    std::vector<png_bytep> rows(static_cast<std::size_t>(result->Height()));
    for (int y = 0; y < result->Height(); ++y) rows[y] = result->Row(y);
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return std::move(*result);
}

} // namespace tevrin
