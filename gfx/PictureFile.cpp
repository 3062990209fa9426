// SPDX-License-Identifier: MIT
#include "gfx/PictureFile.h"

#include "base/Errors.h"
#include "gfx/ColorProfile.h"
#include "gfx/Copy.h"
#include "gfx/Exif.h"
#include "gfx/Jpeg.h"
#include "gfx/Png.h"
#ifdef TEVRIN_HAVE_WEBP
#include "gfx/Webp.h"
#endif
#ifdef TEVRIN_HAVE_SYSTEM_PICTURES
#include "gfx/SystemPictures.h"
#endif
#ifdef TEVRIN_HAVE_HEIF
#include "gfx/Heif.h"
#endif

#include <algorithm>
#include <array>
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
#ifdef TEVRIN_HAVE_SYSTEM_PICTURES
    // What our libraries do not read, the system may.
    if (format == TPictureFormat::Unknown || !CanReadPictureFormat(format))
        if (std::optional<TBitmap24> decoded = DecodeWithSystem(bytes)) return std::move(*decoded);
#endif
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
    case TPictureFormat::Heif: {
        // Its colour box is libheif's to read: converted here, where the
        // other formats' profiles are converted by whoever decodes them.
        TBitmap24 picture = DecodeHeif(bytes);
        if (ConvertsColours())
            if (const std::optional<TColorProfile> profile =
                    ProfileToConvert(HeifColourProfile(bytes)))
                profile->ToSrgb(picture);
        return picture;
    }
#endif
    default:
        break;
    }
    throw EError(msg::kNotAPicture);
}

namespace {

std::vector<std::uint8_t> WithExifSignature(std::span<const std::uint8_t> block) {
    static constexpr std::array<std::uint8_t, 6> kSignature = {'E', 'x', 'i', 'f', 0, 0};
    if (block.empty()) return {};
    const bool has_signature = block.size() >= kSignature.size() &&
                               std::equal(kSignature.begin(), kSignature.end(), block.begin());
    std::vector<std::uint8_t> out(has_signature ? 0 : kSignature.size() + block.size());
    if (has_signature) return {block.begin(), block.end()};
    std::copy(kSignature.begin(), kSignature.end(), out.begin());
    std::copy(block.begin(), block.end(), out.begin() + kSignature.size());
    return out;
}

std::uint32_t BigEndian32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

} // namespace

std::vector<std::uint8_t> PictureExif(std::span<const std::uint8_t> bytes) {
    switch (SniffPictureFormat(bytes)) {
    case TPictureFormat::Jpeg: {
        const std::span<const std::uint8_t> block = JpegExifBlock(bytes);
        return {block.begin(), block.end()};
    }
    case TPictureFormat::Png:
        // Chunks after the 8-byte signature: length, type, data, CRC.
        for (std::size_t at = 8; at + 12 <= bytes.size();) {
            const std::uint64_t length = BigEndian32(&bytes[at]);
            if (at + 12 + length > bytes.size()) break;
            if (std::memcmp(&bytes[at + 4], "eXIf", 4) == 0)
                return WithExifSignature(bytes.subspan(at + 8, static_cast<std::size_t>(length)));
            if (std::memcmp(&bytes[at + 4], "IEND", 4) == 0) break;
            at += static_cast<std::size_t>(12 + length);
        }
        return {};
    case TPictureFormat::Webp:
        // RIFF chunks after the 12-byte header: four letters, a little-endian
        // length, the data padded to an even length.
        for (std::size_t at = 12; at + 8 <= bytes.size();) {
            const std::uint64_t length = bytes[at + 4] | bytes[at + 5] << 8 | bytes[at + 6] << 16 |
                                         std::uint32_t{bytes[at + 7]} << 24;
            if (at + 8 + length > bytes.size()) break;
            if (std::memcmp(&bytes[at], "EXIF", 4) == 0)
                return WithExifSignature(bytes.subspan(at + 8, static_cast<std::size_t>(length)));
            at += static_cast<std::size_t>(8 + length + (length & 1));
        }
        return {};
    case TPictureFormat::Heif:
#ifdef TEVRIN_HAVE_HEIF
        return WithExifSignature(HeifExif(bytes));
#else
        return {};
#endif
    case TPictureFormat::Unknown:
        break;
    }
    return {};
}

std::string OtherColoursOf(std::span<const std::uint8_t> bytes) {
    if (!ConvertsColours()) return {};
    std::vector<std::uint8_t> icc = EmbeddedProfile(bytes);
#ifdef TEVRIN_HAVE_HEIF
    if (icc.empty() && SniffPictureFormat(bytes) == TPictureFormat::Heif)
        icc = HeifColourProfile(bytes);
#endif
    const std::optional<TColorProfile> profile = ProfileToConvert(icc);
    return profile ? profile->Name() : std::string();
}

TShowPicture ReadShowPicture(std::vector<std::uint8_t> bytes) {
    TShowPicture picture;
    if (SniffPictureFormat(bytes) == TPictureFormat::Jpeg) {
        picture.Jpeg = std::move(bytes); // its colours are converted when it is composed
    } else {
        picture.Upright = DecodeUpright(bytes);
        ToSrgbAsEmbedded(bytes, picture.Upright);
    }
    return picture;
}

} // namespace tevrin
