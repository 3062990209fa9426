#include "gfx/Heif.h"

#include "base/Errors.h"

#include <algorithm>
#include <libheif/heif.h>
#include <memory>
#include <string>

namespace tevrin {
namespace {

struct TContextFree {
    void operator()(heif_context* c) const { heif_context_free(c); }
};
struct THandleFree {
    void operator()(heif_image_handle* h) const { heif_image_handle_release(h); }
};
struct TImageFree {
    void operator()(heif_image* i) const { heif_image_release(i); }
};

void Check(const heif_error& error) {
    if (error.code != heif_error_Ok) throw EError(std::string("HEIF: ") + error.message);
}

} // namespace

TBitmap24 DecodeHeif(std::span<const std::uint8_t> bytes) {
    std::unique_ptr<heif_context, TContextFree> context(heif_context_alloc());
    Check(heif_context_read_from_memory_without_copy(context.get(), bytes.data(), bytes.size(),
                                                     nullptr));
    heif_image_handle* raw_handle = nullptr;
    Check(heif_context_get_primary_image_handle(context.get(), &raw_handle));
    std::unique_ptr<heif_image_handle, THandleFree> handle(raw_handle);
    const int w = heif_image_handle_get_width(handle.get()),
              h = heif_image_handle_get_height(handle.get());
    if (w <= 0 || h <= 0 || static_cast<std::uint64_t>(w) * h * 4 > kMaxPictureBytes)
        throw EError(msg::kImageTooLarge, {"HEIF", std::to_string(w) + "x" + std::to_string(h)});
    const bool alpha = heif_image_handle_has_alpha_channel(handle.get()) != 0;
    heif_image* raw_image = nullptr;
    Check(heif_decode_image(handle.get(), &raw_image, heif_colorspace_RGB,
                            alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB,
                            nullptr));
    std::unique_ptr<heif_image, TImageFree> image(raw_image);
    int stride = 0;
    const std::uint8_t* pixels =
        heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
    const int iw = heif_image_get_width(image.get(), heif_channel_interleaved);
    const int ih = heif_image_get_height(image.get(), heif_channel_interleaved);
    if (pixels == nullptr || iw <= 0 || ih <= 0) throw EError("HEIF: the picture has no pixels");
    TBitmap24 out(iw, ih);
    const int step = alpha ? 4 : 3;
    for (int y = 0; y < ih; ++y) {
        const std::uint8_t* in = pixels + static_cast<std::ptrdiff_t>(y) * stride;
        std::uint8_t* row = out.Row(y);
        for (int x = 0; x < iw; ++x, in += step) {
            const unsigned a = alpha ? in[3] : 255;
            row[x * 3] = static_cast<std::uint8_t>((in[2] * a + 127) / 255);
            row[x * 3 + 1] = static_cast<std::uint8_t>((in[1] * a + 127) / 255);
            row[x * 3 + 2] = static_cast<std::uint8_t>((in[0] * a + 127) / 255);
        }
    }
    return out;
}

} // namespace tevrin
