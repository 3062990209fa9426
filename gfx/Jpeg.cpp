#include "gfx/Jpeg.h"

#include "gfx/Errors.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <jpeglib.h>

namespace tevrin {
namespace {

struct TErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

extern "C" void OnJpegError(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<TErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

extern "C" void OnJpegMessage(j_common_ptr, int) {}

void InitErrors(TErrorManager& err) {
    jpeg_std_error(&err.pub);
    err.pub.error_exit = OnJpegError;
    err.pub.emit_message = OnJpegMessage;
    err.message[0] = '\0';
}

void CheckSize(const TJpegInfo& info) {
    std::uint64_t bytes = static_cast<std::uint64_t>(info.Width) * info.Height * 3;
    if (bytes > kMaxJpegPixelBytes)
        throw EError(msg::kJpegTooLarge,
                     {std::to_string(info.Width) + "x" + std::to_string(info.Height)});
}

// Runs the decompressor up to the header. Returns false with `err.message`
// filled when libjpeg failed; the caller turns that into an exception once no
// libjpeg frame is on the stack any more.
bool DecodeInto(const std::uint8_t* data, std::size_t size, bool palette8, TJpegInfo& info,
                TBitmap24* out, TErrorManager& err) {
    jpeg_decompress_struct cinfo;
    cinfo.err = &err.pub;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
    jpeg_read_header(&cinfo, TRUE);
    info.Width = static_cast<int>(cinfo.image_width);
    info.Height = static_cast<int>(cinfo.image_height);
    info.Components = cinfo.num_components;
    if (out == nullptr) {
        jpeg_destroy_decompress(&cinfo);
        return true;
    }
    std::uint64_t bytes = static_cast<std::uint64_t>(info.Width) * info.Height * 3;
    if (bytes > kMaxJpegPixelBytes) {
        jpeg_destroy_decompress(&cinfo);
        return true; // the caller refuses it by size
    }
    cinfo.out_color_space = JCS_RGB;
    if (palette8) {
        cinfo.quantize_colors = TRUE;
        cinfo.desired_number_of_colors = 256;
    }
    jpeg_start_decompress(&cinfo);
    *out = TBitmap24(static_cast<int>(cinfo.output_width), static_cast<int>(cinfo.output_height));
    std::uint8_t* scratch = static_cast<std::uint8_t*>(
        (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                   cinfo.output_width * cinfo.output_components, 1)[0]);
    while (cinfo.output_scanline < cinfo.output_height) {
        int y = static_cast<int>(cinfo.output_scanline);
        JSAMPROW row = scratch;
        jpeg_read_scanlines(&cinfo, &row, 1);
        std::uint8_t* dst = out->Row(y);
        for (JDIMENSION x = 0; x < cinfo.output_width; ++x) {
            std::uint8_t r, g, b;
            if (palette8) {
                int index = scratch[x];
                r = cinfo.colormap[0][index];
                g = cinfo.out_color_components > 1 ? cinfo.colormap[1][index] : r;
                b = cinfo.out_color_components > 2 ? cinfo.colormap[2][index] : r;
            } else {
                r = scratch[x * 3];
                g = scratch[x * 3 + 1];
                b = scratch[x * 3 + 2];
            }
            dst[x * 3] = b;
            dst[x * 3 + 1] = g;
            dst[x * 3 + 2] = r;
        }
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

void CheckSignature(const std::uint8_t* data, std::size_t size) {
    if (size < 2 || data[0] != 0xFF || data[1] != 0xD8)
        throw EError(msg::kJpegNotAJpeg, {"no start-of-image marker"});
}

} // namespace

TJpegInfo ReadJpegInfo(const std::uint8_t* data, std::size_t size) {
    CheckSignature(data, size);
    TErrorManager err;
    InitErrors(err);
    TJpegInfo info;
    if (!DecodeInto(data, size, false, info, nullptr, err)) throw EError(std::string(err.message));
    return info;
}

TBitmap24 DecodeJpeg(const std::uint8_t* data, std::size_t size, bool palette8) {
    CheckSignature(data, size);
    TErrorManager err;
    InitErrors(err);
    TJpegInfo info;
    TBitmap24 out;
    if (!DecodeInto(data, size, palette8, info, &out, err)) throw EError(std::string(err.message));
    CheckSize(info);
    return out;
}

std::vector<std::uint8_t> EncodeJpeg(const TBitmap24& bitmap, int quality) {
    TErrorManager err;
    InitErrors(err);
    jpeg_compress_struct cinfo;
    cinfo.err = &err.pub;
    unsigned char* buffer = nullptr;
    unsigned long length = 0;
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(bitmap.Width()) * 3);
    if (setjmp(err.jump)) {
        jpeg_destroy_compress(&cinfo);
        std::free(buffer);
        throw EError(std::string(err.message));
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, &buffer, &length);
    cinfo.image_width = static_cast<JDIMENSION>(bitmap.Width());
    cinfo.image_height = static_cast<JDIMENSION>(bitmap.Height());
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        const std::uint8_t* src = bitmap.Row(static_cast<int>(cinfo.next_scanline));
        for (int x = 0; x < bitmap.Width(); ++x) {
            rgb[x * 3] = src[x * 3 + 2];
            rgb[x * 3 + 1] = src[x * 3 + 1];
            rgb[x * 3 + 2] = src[x * 3];
        }
        JSAMPROW row = rgb.data();
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    std::vector<std::uint8_t> result(buffer, buffer + length);
    jpeg_destroy_compress(&cinfo);
    std::free(buffer);
    return result;
}

} // namespace tevrin
