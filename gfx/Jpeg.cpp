// SPDX-License-Identifier: MIT
#include "gfx/Jpeg.h"

#include "base/Errors.h"
#include "gfx/Cpu.h"
#include "gfx/DecodeBudget.h"
#include "gfx/Exif.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <jerror.h>
#include <jpeglib.h>
#include <string>

#ifdef TEVRIN_X86_PATHS
#include <immintrin.h>
#endif

namespace tevrin {
namespace {

// What a picture is refused for besides libjpeg's own errors.
enum class TRefusal { None, TooLarge, EndsEarly };

struct TErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
    TRefusal refusal;
    // What the decode took of the process's decode budget, returned by the
    // caller once the decompressor is gone.
    std::uint64_t reserved;
    // Where the data ran out, when it did: the scan and its row of blocks.
    bool ran_out;
    int ran_out_scan;
    JDIMENSION ran_out_row, total_rows;
};

extern "C" void OnJpegError(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<TErrorManager*>(cinfo->err);
    // The coefficient buffers of a progressive picture would pass the memory
    // limit: the library asks for a backing store, which there is none of.
    if (cinfo->err->msg_code == JERR_NO_BACKING_STORE) err->refusal = TRefusal::TooLarge;
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

// Warnings are dropped; the end of the data is remembered.
extern "C" void OnJpegMessage(j_common_ptr cinfo, int level) {
    auto* err = reinterpret_cast<TErrorManager*>(cinfo->err);
    if (level != -1 || cinfo->err->msg_code != JWRN_JPEG_EOF || !cinfo->is_decompressor ||
        err->ran_out)
        return;
    const auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
    err->ran_out = true;
    err->ran_out_scan = d->input_scan_number;
    err->ran_out_row = d->input_iMCU_row;
    err->total_rows = d->total_iMCU_rows;
}

void InitErrors(TErrorManager& err) {
    jpeg_std_error(&err.pub);
    err.pub.error_exit = OnJpegError;
    err.pub.emit_message = OnJpegMessage;
    err.message[0] = '\0';
    err.refusal = TRefusal::None;
    err.reserved = 0;
    err.ran_out = false;
    err.ran_out_scan = 0;
    err.ran_out_row = err.total_rows = 0;
}

// Whether `size` bytes can hold the picture at all: a block costs a
// Huffman-coded picture two bits at the very least (a zero difference and
// the end of the block), so far fewer bytes mean data that ends early.
// Arithmetic coding can do with less, and is not judged.
bool CouldHoldPicture(const jpeg_decompress_struct& cinfo, std::size_t size) {
    if (cinfo.arith_code) return true;
    const std::uint64_t blocks =
        ((cinfo.image_width + 7) / 8ull) * ((cinfo.image_height + 7) / 8ull);
    return size >= blocks / 16;
}

void ReadHeaderFacts(jpeg_decompress_struct& cinfo, TJpegInfo& info) {
    info.Width = static_cast<int>(cinfo.image_width);
    info.Height = static_cast<int>(cinfo.image_height);
    info.Components = cinfo.num_components;
    info.Cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    info.Progressive = cinfo.progressive_mode != 0;
    info.Orientation = kOrientationUpright;
    for (jpeg_saved_marker_ptr m = cinfo.marker_list; m != nullptr; m = m->next)
        if (m->marker == JPEG_APP0 + 1) {
            const int orientation = ExifOrientation({m->data, m->data_length});
            if (orientation != kOrientationUpright) {
                info.Orientation = orientation;
                break;
            }
        }
}

// The smallest DCT scaling n/8 whose output is not below the minimum,
// leaving out 6/8 and 7/8: libjpeg-turbo has no SIMD code for their inverse
// transforms, and they take as long as the full size or longer.
void ChooseScale(jpeg_decompress_struct& cinfo, const TJpegDecode& how) {
    cinfo.scale_denom = 8;
    if (how.MinWidth > 0 || how.MinHeight > 0)
        for (unsigned n : {1u, 2u, 3u, 4u, 5u}) {
            cinfo.scale_num = n;
            jpeg_calc_output_dimensions(&cinfo);
            if (static_cast<int>(cinfo.output_width) >= how.MinWidth &&
                static_cast<int>(cinfo.output_height) >= how.MinHeight)
                return;
        }
    cinfo.scale_num = 8;
    jpeg_calc_output_dimensions(&cinfo);
}

// Four inks to BGR. Adobe's writers store the inks inverted (0 = full ink).
void InksToBgr(const std::uint8_t* cmyk, std::uint8_t* bgr, JDIMENSION width, bool inverted) {
    for (JDIMENSION x = 0; x < width; ++x, cmyk += 4, bgr += 3) {
        unsigned c = cmyk[0], m = cmyk[1], y = cmyk[2], k = cmyk[3];
        if (!inverted) c = 255 - c, m = 255 - m, y = 255 - y, k = 255 - k;
        bgr[0] = static_cast<std::uint8_t>((y * k + 127) / 255);
        bgr[1] = static_cast<std::uint8_t>((m * k + 127) / 255);
        bgr[2] = static_cast<std::uint8_t>((c * k + 127) / 255);
    }
}

void GrayToBgrPlain(const std::uint8_t* gray, std::uint8_t* bgr, JDIMENSION from,
                    JDIMENSION width) {
    for (JDIMENSION x = from; x < width; ++x)
        bgr[3 * x] = bgr[3 * x + 1] = bgr[3 * x + 2] = gray[x];
}

#ifdef TEVRIN_X86_PATHS
// Sixteen gray pixels at a time become 48 bytes through three byte shuffles.
__attribute__((target("ssse3"))) void GrayToBgrSsse3(const std::uint8_t* gray, std::uint8_t* bgr,
                                                     JDIMENSION width) {
    const __m128i first = _mm_setr_epi8(0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5);
    const __m128i second = _mm_setr_epi8(5, 5, 6, 6, 6, 7, 7, 7, 8, 8, 8, 9, 9, 9, 10, 10);
    const __m128i third =
        _mm_setr_epi8(10, 11, 11, 11, 12, 12, 12, 13, 13, 13, 14, 14, 14, 15, 15, 15);
    JDIMENSION x = 0;
    for (; x + 16 <= width; x += 16) {
        const __m128i g = _mm_loadu_si128(reinterpret_cast<const __m128i*>(gray + x));
        __m128i* out = reinterpret_cast<__m128i*>(bgr + 3 * x);
        _mm_storeu_si128(out, _mm_shuffle_epi8(g, first));
        _mm_storeu_si128(out + 1, _mm_shuffle_epi8(g, second));
        _mm_storeu_si128(out + 2, _mm_shuffle_epi8(g, third));
    }
    GrayToBgrPlain(gray, bgr, x, width);
}

#endif

void GrayToBgr(const std::uint8_t* gray, std::uint8_t* bgr, JDIMENSION width) {
#ifdef TEVRIN_X86_PATHS
    static const bool ssse3 = CpuHasSsse3();
    if (ssse3) return GrayToBgrSsse3(gray, bgr, width);
#endif
    GrayToBgrPlain(gray, bgr, 0, width);
}

// Runs the decompressor: the header only without `out`, else the whole
// picture. Returns false with `err.message` filled when libjpeg failed; the
// caller turns that into an exception once no libjpeg frame is on the stack
// any more. Nothing with a destructor lives in this frame.
bool Decompress(const std::uint8_t* data, std::size_t size, const TJpegDecode& how, TJpegInfo& info,
                TBitmap24* out, TErrorManager& err) {
    jpeg_decompress_struct cinfo;
    cinfo.err = &err.pub;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    cinfo.mem->max_memory_to_use = kMaxJpegWorkMemory;
    jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
    jpeg_save_markers(&cinfo, JPEG_APP0 + 1, 0xFFFF);
    jpeg_read_header(&cinfo, TRUE);
    ReadHeaderFacts(cinfo, info);
    if (out == nullptr) {
        jpeg_destroy_decompress(&cinfo);
        return true;
    }
    const bool inks = info.Cmyk && cinfo.num_components == 4;
    if (inks) {
        cinfo.out_color_space = JCS_CMYK; // YCCK is turned into CMYK by the library
    } else if (how.Palette8) {
        cinfo.out_color_space = JCS_RGB;
        cinfo.quantize_colors = TRUE;
        cinfo.desired_number_of_colors = 256;
    } else if (cinfo.jpeg_color_space == JCS_GRAYSCALE) {
        // Gray rows widened here: the library's own widening to three
        // channels is a plain loop, this one vectorises.
        cinfo.out_color_space = JCS_GRAYSCALE;
    } else {
        cinfo.out_color_space = JCS_EXT_BGR; // straight into our rows
    }
    ChooseScale(cinfo, how);
    std::uint64_t bytes = static_cast<std::uint64_t>(cinfo.output_width) * cinfo.output_height * 3;
    if (bytes > kMaxPictureBytes || !CouldHoldPicture(cinfo, size)) {
        err.refusal = bytes > kMaxPictureBytes ? TRefusal::TooLarge : TRefusal::EndsEarly;
        if (err.refusal == TRefusal::TooLarge) {
            info.Width = static_cast<int>(cinfo.output_width);
            info.Height = static_cast<int>(cinfo.output_height);
        }
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    // Beside the picture: a progressive one's coefficients (two bytes a
    // sample, within the library's limit), else a few rows.
    const std::uint64_t samples = static_cast<std::uint64_t>(cinfo.image_width) *
                                  cinfo.image_height * static_cast<unsigned>(cinfo.num_components);
    const std::uint64_t work =
        cinfo.progressive_mode
            ? std::min<std::uint64_t>(samples * 2, static_cast<std::uint64_t>(kMaxJpegWorkMemory))
            : static_cast<std::uint64_t>(cinfo.image_width) * 4 * 64;
    if (!TakeDecodeBudget(bytes + work)) {
        err.refusal = TRefusal::TooLarge;
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    err.reserved = bytes + work;
    jpeg_start_decompress(&cinfo);
    // Every pixel is decoded into it: no need to clear it first.
    *out = TBitmap24(static_cast<int>(cinfo.output_width), static_cast<int>(cinfo.output_height),
                     TBitmap24::kUndefined);
    const bool direct = cinfo.out_color_space == JCS_EXT_BGR;
    const int batch = std::min(cinfo.rec_outbuf_height, 16);
    JSAMPARRAY scratch =
        direct ? nullptr
               : (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                            cinfo.output_width * cinfo.output_components, batch);
    const bool inverted = cinfo.saw_Adobe_marker != 0;
    JSAMPROW rows[16];
    while (cinfo.output_scanline < cinfo.output_height) {
        const int y = static_cast<int>(cinfo.output_scanline);
        const int n = std::min(batch, static_cast<int>(cinfo.output_height) - y);
        for (int i = 0; i < n; ++i)
            rows[i] = direct ? out->Row(y + i) : scratch[i];
        const int got =
            static_cast<int>(jpeg_read_scanlines(&cinfo, rows, static_cast<JDIMENSION>(n)));
        if (direct) continue;
        for (int i = 0; i < got; ++i) {
            std::uint8_t* dst = out->Row(y + i);
            if (inks) {
                if (how.Inks)
                    how.Inks(scratch[i], dst, static_cast<int>(cinfo.output_width), inverted);
                else
                    InksToBgr(scratch[i], dst, cinfo.output_width, inverted);
                continue;
            }
            if (cinfo.out_color_space == JCS_GRAYSCALE) {
                GrayToBgr(scratch[i], dst, cinfo.output_width);
                continue;
            }
            for (JDIMENSION x = 0; x < cinfo.output_width; ++x) {
                const int index = scratch[i][x];
                const std::uint8_t r = cinfo.colormap[0][index];
                dst[x * 3] = cinfo.out_color_components > 2 ? cinfo.colormap[2][index] : r;
                dst[x * 3 + 1] = cinfo.out_color_components > 1 ? cinfo.colormap[1][index] : r;
                dst[x * 3 + 2] = r;
            }
        }
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    // Data that ran out in the first half of the first scan leaves a gray
    // picture, not a damaged one: unreadable.
    if (err.ran_out && err.ran_out_scan <= 1 && err.ran_out_row * 2 < err.total_rows) {
        err.refusal = TRefusal::EndsEarly;
        return false;
    }
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
    if (!Decompress(data, size, {}, info, nullptr, err)) throw EError(std::string(err.message));
    return info;
}

TBitmap24 DecodeJpeg(const std::uint8_t* data, std::size_t size, const TJpegDecode& how) {
    CheckSignature(data, size);
    TErrorManager err;
    InitErrors(err);
    TJpegInfo info;
    TBitmap24 out;
    struct TReturnBudget {
        const std::uint64_t& bytes;
        ~TReturnBudget() {
            if (bytes > 0) ReturnDecodeBudget(bytes);
        }
    } returned{err.reserved};
    if (Decompress(data, size, how, info, &out, err)) return out;
    const std::string pixels = std::to_string(info.Width) + "x" + std::to_string(info.Height);
    switch (err.refusal) {
    case TRefusal::TooLarge:
        throw EError(msg::kImageTooLarge, {"JPEG", pixels});
    case TRefusal::EndsEarly:
        throw EError(msg::kImageEndsEarly, {"JPEG", pixels});
    case TRefusal::None:
        break;
    }
    throw EError(std::string(err.message));
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
