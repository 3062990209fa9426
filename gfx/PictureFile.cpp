// SPDX-License-Identifier: MIT
#include "gfx/PictureFile.h"

#include "base/Errors.h"
#include "gfx/Copy.h"
#include "gfx/Exif.h"
#include "gfx/Jpeg.h"
#include "gfx/Png.h"
#ifdef TEVRIN_HAVE_WEBP
#include "gfx/Webp.h"
#endif
#ifdef TEVRIN_HAVE_HEIF
#include "gfx/Heif.h"
#endif

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>

namespace tevrin {
namespace {

bool StartsWith(std::span<const std::uint8_t> bytes, std::size_t at, const char* text) {
    const std::size_t n = std::strlen(text);
    return bytes.size() >= at + n && std::memcmp(bytes.data() + at, text, n) == 0;
}

bool IsHeifBrand(std::span<const std::uint8_t> bytes) {
    if (!StartsWith(bytes, 4, "ftyp") || bytes.size() < 12) return false;
    for (const char* brand :
         {"heic", "heix", "heim", "heis", "hevc", "hevx", "mif1", "msf1", "avif", "avis"})
        if (StartsWith(bytes, 8, brand)) return true;
    return false;
}

} // namespace

TPictureFormat SniffPictureFormat(std::span<const std::uint8_t> bytes) {
    if (bytes.size() >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF)
        return TPictureFormat::Jpeg;
    if (StartsWith(bytes, 0, "\x89PNG\r\n\x1A\n")) return TPictureFormat::Png;
    if (StartsWith(bytes, 0, "RIFF") && StartsWith(bytes, 8, "WEBP")) return TPictureFormat::Webp;
    if (IsHeifBrand(bytes)) return TPictureFormat::Heif;
    return TPictureFormat::Unknown;
}

std::string_view PictureFormatName(TPictureFormat format) {
    switch (format) {
    case TPictureFormat::Jpeg:
        return "JPEG";
    case TPictureFormat::Png:
        return "PNG";
    case TPictureFormat::Webp:
        return "WebP";
    case TPictureFormat::Heif:
        return "HEIF";
    case TPictureFormat::Unknown:
        break;
    }
    return "unknown";
}

bool CanReadPictureFormat(TPictureFormat format) {
    switch (format) {
    case TPictureFormat::Jpeg:
    case TPictureFormat::Png:
        return true;
#ifdef TEVRIN_HAVE_WEBP
    case TPictureFormat::Webp:
        return true;
#endif
#ifdef TEVRIN_HAVE_HEIF
    case TPictureFormat::Heif:
        return true;
#endif
    default:
        return false;
    }
}

bool HasPictureExtension(std::string_view file_name) {
    const std::size_t dot = file_name.rfind('.');
    if (dot == std::string_view::npos) return false;
    std::string ext(file_name.substr(dot + 1));
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    for (const char* known :
         {"jpg", "jpeg", "jpe", "jfif", "png", "webp", "heic", "heif", "hif", "avif"})
        if (ext == known) return true;
    return false;
}

TBitmap24 DecodeUpright(std::span<const std::uint8_t> bytes, int min_width, int min_height) {
    const TPictureFormat format = SniffPictureFormat(bytes);
    if (format == TPictureFormat::Unknown) throw EError(msg::kNotAPicture);
    if (!CanReadPictureFormat(format))
        throw EError(msg::kFormatNotBuiltIn, {PictureFormatName(format)});
    switch (format) {
    case TPictureFormat::Jpeg: {
        const TJpegInfo info = ReadJpegInfo(bytes.data(), bytes.size());
        TBitmap24 stored = DecodeJpeg(bytes.data(), bytes.size(),
                                      TJpegDecode::Covering(info, min_width, min_height));
        if (info.Orientation == kOrientationUpright) return stored;
        return TurnUpright(stored, info.Orientation);
    }
    case TPictureFormat::Png:
        return DecodePng(bytes);
#ifdef TEVRIN_HAVE_WEBP
    case TPictureFormat::Webp:
        return DecodeWebp(bytes);
#endif
#ifdef TEVRIN_HAVE_HEIF
    case TPictureFormat::Heif:
        return DecodeHeif(bytes);
#endif
    default:
        break;
    }
    throw EError(msg::kNotAPicture);
}

TShowPicture ReadShowPicture(std::vector<std::uint8_t> bytes) {
    TShowPicture picture;
    if (SniffPictureFormat(bytes) == TPictureFormat::Jpeg)
        picture.Jpeg = std::move(bytes);
    else
        picture.Upright = DecodeUpright(bytes);
    return picture;
}

} // namespace tevrin
