// SPDX-License-Identifier: MIT
#include "gfx/ColorProfile.h"

#include "base/Errors.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string_view>
#include <zlib.h>

#ifdef TEVRIN_HAVE_LCMS2
#include <lcms2.h>
#endif

namespace tevrin {
namespace {

// Larger profiles than any camera or editor writes are no profile of ours.
constexpr std::size_t kMaxProfileBytes = 16u << 20;

std::uint32_t BigEndian32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

// The APP2 "ICC_PROFILE" chunks before the image data, by their number,
// joined when every one of the count is there.
std::vector<std::uint8_t> JpegProfile(std::span<const std::uint8_t> jpeg) {
    static constexpr char kSignature[] = "ICC_PROFILE"; // with its NUL: 12 bytes
    std::map<int, std::span<const std::uint8_t>> chunks;
    int count = 0;
    std::size_t at = 2;
    while (at + 4 <= jpeg.size() && jpeg[at] == 0xFF) {
        const std::uint8_t marker = jpeg[at + 1];
        if (marker == 0xFF) {
            ++at;
            continue;
        }
        if (marker == 0xDA || (marker >= 0xD0 && marker <= 0xD9)) break;
        const std::size_t length = jpeg[at + 2] << 8 | jpeg[at + 3];
        if (length < 2 || at + 2 + length > jpeg.size()) return {};
        const std::span<const std::uint8_t> payload = jpeg.subspan(at + 4, length - 2);
        if (marker == 0xE2 && payload.size() > sizeof kSignature + 1 &&
            std::memcmp(payload.data(), kSignature, sizeof kSignature) == 0) {
            const int number = payload[sizeof kSignature];
            const int of = payload[sizeof kSignature + 1];
            if (number < 1 || number > of || (count != 0 && of != count)) return {};
            count = of;
            chunks[number] = payload.subspan(sizeof kSignature + 2);
        }
        at += 2 + length;
    }
    if (count == 0 || static_cast<int>(chunks.size()) != count) return {};
    std::vector<std::uint8_t> profile;
    for (const auto& [number, chunk] : chunks)
        profile.insert(profile.end(), chunk.begin(), chunk.end());
    return profile;
}

// PNG's iCCP: a name, its NUL, the compression method (0), then zlib data.
std::vector<std::uint8_t> PngProfile(std::span<const std::uint8_t> png) {
    for (std::size_t at = 8; at + 12 <= png.size();) {
        const std::uint64_t length = BigEndian32(&png[at]);
        if (at + 12 + length > png.size()) return {};
        const std::uint8_t* type = &png[at + 4];
        if (std::memcmp(type, "IDAT", 4) == 0 || std::memcmp(type, "IEND", 4) == 0) return {};
        if (std::memcmp(type, "iCCP", 4) == 0) {
            const std::span<const std::uint8_t> data =
                png.subspan(at + 8, static_cast<std::size_t>(length));
            const auto nul = std::find(data.begin(), data.end(), 0);
            if (nul == data.end() || nul - data.begin() > 79 || nul + 2 > data.end() || nul[1] != 0)
                return {};
            const std::span<const std::uint8_t> packed = data.subspan(nul - data.begin() + 2);
            z_stream zs{};
            if (inflateInit(&zs) != Z_OK) return {};
            std::vector<std::uint8_t> profile(
                std::min<std::size_t>(packed.size() * 4 + 1024, kMaxProfileBytes));
            zs.next_in = const_cast<Bytef*>(packed.data());
            zs.avail_in = static_cast<uInt>(packed.size());
            int result = Z_OK;
            while (result == Z_OK) {
                if (zs.total_out == profile.size()) {
                    if (profile.size() >= kMaxProfileBytes) break;
                    profile.resize(std::min(profile.size() * 2, kMaxProfileBytes));
                }
                zs.next_out = profile.data() + zs.total_out;
                zs.avail_out = static_cast<uInt>(profile.size() - zs.total_out);
                result = inflate(&zs, Z_NO_FLUSH);
            }
            const bool whole = result == Z_STREAM_END;
            profile.resize(zs.total_out);
            inflateEnd(&zs);
            return whole ? profile : std::vector<std::uint8_t>();
        }
        at += static_cast<std::size_t>(12 + length);
    }
    return {};
}

// WebP's ICCP chunk, among the RIFF chunks after the 12-byte header.
std::vector<std::uint8_t> WebpProfile(std::span<const std::uint8_t> webp) {
    for (std::size_t at = 12; at + 8 <= webp.size();) {
        const std::uint64_t length = webp[at + 4] | webp[at + 5] << 8 | webp[at + 6] << 16 |
                                     std::uint32_t{webp[at + 7]} << 24;
        if (at + 8 + length > webp.size()) return {};
        if (std::memcmp(&webp[at], "ICCP", 4) == 0) {
            const auto data = webp.subspan(at + 8, static_cast<std::size_t>(length));
            return {data.begin(), data.end()};
        }
        at += static_cast<std::size_t>(8 + length + (length & 1));
    }
    return {};
}

} // namespace

std::vector<std::uint8_t> EmbeddedProfile(std::span<const std::uint8_t> file) {
    auto starts = [&](std::size_t at, std::string_view text) {
        return file.size() >= at + text.size() &&
               std::memcmp(file.data() + at, text.data(), text.size()) == 0;
    };
    std::vector<std::uint8_t> profile;
    if (starts(0, "\xFF\xD8\xFF"))
        profile = JpegProfile(file);
    else if (starts(0, "\x89PNG\r\n\x1A\n"))
        profile = PngProfile(file);
    else if (starts(0, "RIFF") && starts(8, "WEBP"))
        profile = WebpProfile(file);
    if (profile.size() > kMaxProfileBytes) profile.clear();
    return profile;
}

TBitmap24 DecodeJpegInSrgb(std::span<const std::uint8_t> jpeg, TJpegDecode how,
                           std::string* converted_from) {
    const std::optional<TColorProfile> profile =
        ConvertsColours() ? ProfileToConvert(EmbeddedProfile(jpeg)) : std::nullopt;
    if (profile && profile->Space() == TColorProfile::TSpace::Cmyk) how.Inks = profile->InkRows();
    TBitmap24 decoded = DecodeJpeg(jpeg.data(), jpeg.size(), how);
    if (!profile) return decoded;
    // A CMYK profile on an RGB picture converts nothing; the inks went
    // through it while decoding.
    const bool inks = profile->Space() == TColorProfile::TSpace::Cmyk;
    if (inks && !ReadJpegInfo(jpeg.data(), jpeg.size()).Cmyk) return decoded;
    if (!inks) profile->ToSrgb(decoded);
    if (converted_from != nullptr) *converted_from = profile->Name();
    return decoded;
}

std::string ToSrgbAsEmbedded(std::span<const std::uint8_t> file, TBitmap24& decoded) {
    if (!ConvertsColours()) return {};
    const std::optional<TColorProfile> profile = ProfileToConvert(EmbeddedProfile(file));
    if (!profile || profile->Space() == TColorProfile::TSpace::Cmyk) return {};
    profile->ToSrgb(decoded);
    return profile->Name();
}

std::optional<TColorProfile> ProfileToConvert(std::span<const std::uint8_t> icc) {
    if (icc.empty()) return std::nullopt;
    std::optional<TColorProfile> profile = TColorProfile::Parse(icc);
    if (!profile || profile->IsSrgb()) return std::nullopt;
    return profile;
}

#ifdef TEVRIN_HAVE_LCMS2

struct TColorProfile::TImpl {
    cmsHPROFILE Profile = nullptr;
    cmsUInt32Number Intent = INTENT_PERCEPTUAL;
    cmsUInt32Number Flags = 0;
    ~TImpl() {
        if (Profile != nullptr) cmsCloseProfile(Profile);
    }
};

namespace {

struct TTransform {
    cmsHTRANSFORM Handle = nullptr;
    ~TTransform() {
        if (Handle != nullptr) cmsDeleteTransform(Handle);
    }
};

struct TProfileHandle {
    cmsHPROFILE Handle;
    ~TProfileHandle() {
        if (Handle != nullptr) cmsCloseProfile(Handle);
    }
};

// The format of our pixels as the profile's space reads them: gray takes
// the first of three equal channels.
cmsUInt32Number InputFormat(TColorProfile::TSpace space, int pixel_bytes) {
    if (space == TColorProfile::TSpace::Gray)
        return COLORSPACE_SH(PT_GRAY) | CHANNELS_SH(1) | BYTES_SH(1) | EXTRA_SH(pixel_bytes - 1);
    return pixel_bytes == 4 ? TYPE_BGRA_8 : TYPE_BGR_8;
}

} // namespace

bool ConvertsColours() {
    return true;
}

std::vector<std::uint8_t> ProfileFromPrimaries(const double (&xy)[8], TTransfer transfer) {
    const cmsCIExyYTRIPLE primaries = {{xy[0], xy[1], 1}, {xy[2], xy[3], 1}, {xy[4], xy[5], 1}};
    const cmsCIExyY white = {xy[6], xy[7], 1};
    cmsToneCurve* curve = nullptr;
    switch (transfer) {
    case TTransfer::Srgb: {
        const double params[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
        curve = cmsBuildParametricToneCurve(nullptr, 4, params);
        break;
    }
    case TTransfer::Bt709: {
        const double params[5] = {1 / 0.45, 1 / 1.099, 0.099 / 1.099, 1 / 4.5, 0.081};
        curve = cmsBuildParametricToneCurve(nullptr, 4, params);
        break;
    }
    case TTransfer::Pq: {
        // SMPTE ST 2084's light, in units of the diffuse white, clipped at it.
        constexpr double m1 = 2610.0 / 16384, m2 = 2523.0 / 4096 * 128, c1 = 3424.0 / 4096,
                         c2 = 2413.0 / 4096 * 32, c3 = 2392.0 / 4096 * 32;
        std::vector<float> table(4096);
        for (std::size_t i = 0; i < table.size(); ++i) {
            const double v = std::pow(static_cast<double>(i) / (table.size() - 1), 1 / m2);
            const double light = 10000 * std::pow(std::max(v - c1, 0.0) / (c2 - c3 * v), 1 / m1);
            table[i] = static_cast<float>(std::min(1.0, light / 203));
        }
        curve = cmsBuildTabulatedToneCurveFloat(nullptr, static_cast<cmsUInt32Number>(table.size()),
                                                table.data());
        break;
    }
    case TTransfer::Linear:
        curve = cmsBuildGamma(nullptr, 1.0);
        break;
    }
    if (curve == nullptr) return {};
    cmsToneCurve* curves[3] = {curve, curve, curve};
    cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
    cmsFreeToneCurve(curve);
    if (profile == nullptr) return {};
    cmsMLU* description = cmsMLUalloc(nullptr, 1);
    cmsMLUsetASCII(description, "en", "US", "Colour description");
    cmsWriteTag(profile, cmsSigProfileDescriptionTag, description);
    cmsMLUfree(description);
    cmsUInt32Number size = 0;
    std::vector<std::uint8_t> bytes;
    if (cmsSaveProfileToMem(profile, nullptr, &size) && size > 0) {
        bytes.resize(size);
        if (!cmsSaveProfileToMem(profile, bytes.data(), &size)) bytes.clear();
    }
    cmsCloseProfile(profile);
    return bytes;
}

std::optional<TColorProfile> TColorProfile::Parse(std::span<const std::uint8_t> icc) {
    // A profile lcms2 refuses is told to the caller, not to standard error.
    static const bool quiet =
        (cmsSetLogErrorHandler([](cmsContext, cmsUInt32Number, const char*) {}), true);
    (void)quiet;
    if (icc.size() < 128 || icc.size() > kMaxProfileBytes) return std::nullopt;
    auto impl = std::make_unique<TImpl>();
    impl->Profile = cmsOpenProfileFromMem(icc.data(), static_cast<cmsUInt32Number>(icc.size()));
    if (impl->Profile == nullptr) return std::nullopt;
    TSpace space;
    switch (cmsGetColorSpace(impl->Profile)) {
    case cmsSigRgbData:
        space = TSpace::Rgb;
        break;
    case cmsSigGrayData:
        space = TSpace::Gray;
        break;
    case cmsSigCmykData:
        space = TSpace::Cmyk;
        break;
    default:
        return std::nullopt;
    }
    if (cmsGetDeviceClass(impl->Profile) == cmsSigLinkClass ||
        cmsGetDeviceClass(impl->Profile) == cmsSigAbstractClass)
        return std::nullopt;
    if (!cmsIsCLUT(impl->Profile, INTENT_PERCEPTUAL, LCMS_USED_AS_INPUT)) {
        impl->Intent = INTENT_RELATIVE_COLORIMETRIC;
        impl->Flags = cmsFLAGS_BLACKPOINTCOMPENSATION;
    }
    TColorProfile profile(std::move(impl));
    profile.space_ = space;
    char name[256] = {};
    cmsGetProfileInfoASCII(profile.impl_->Profile, cmsInfoDescription, "en", "US", name,
                           sizeof name);
    profile.description_ = name;
    if (space == TSpace::Cmyk) return profile;
    // sRGB's own when every level of a grid of colours comes out within one
    // step: nothing to convert.
    TBitmap24 grid(9 * 9 * 9, 1);
    int i = 0;
    for (int r = 0; r < 9; ++r)
        for (int g = 0; g < 9; ++g)
            for (int b = 0; b < 9; ++b, ++i) {
                std::uint8_t* p = grid.Row(0) + 3 * i;
                auto level = [](int k) { return static_cast<std::uint8_t>(std::min(255, k * 32)); };
                p[0] = level(b);
                p[1] = space == TSpace::Gray ? level(b) : level(g);
                p[2] = space == TSpace::Gray ? level(b) : level(r);
            }
    TBitmap24 converted = grid;
    try {
        profile.ToSrgb(converted);
    } catch (const EError&) {
        return std::nullopt;
    }
    profile.srgb_ = true;
    for (int k = 0; k < 3 * grid.Width(); ++k)
        if (std::abs(grid.Row(0)[k] - converted.Row(0)[k]) > 1) profile.srgb_ = false;
    return profile;
}

std::function<void(const std::uint8_t*, std::uint8_t*, int, bool)> TColorProfile::InkRows() const {
    if (space_ != TSpace::Cmyk) return {};
    // One transform for each way of storing inks, made when first needed
    // and shared by the copies of the function.
    auto transforms = std::make_shared<std::pair<TTransform, TTransform>>();
    return
        [this, transforms](const std::uint8_t* cmyk, std::uint8_t* bgr, int width, bool inverted) {
            TTransform& transform = inverted ? transforms->second : transforms->first;
            if (transform.Handle == nullptr) {
                const TProfileHandle srgb{cmsCreate_sRGBProfile()};
                transform.Handle =
                    cmsCreateTransform(impl_->Profile, inverted ? TYPE_CMYK_8_REV : TYPE_CMYK_8,
                                       srgb.Handle, TYPE_BGR_8, impl_->Intent, impl_->Flags);
                if (transform.Handle == nullptr)
                    throw EError(msg::kNoColourTransform, {description_});
            }
            cmsDoTransform(transform.Handle, cmyk, bgr, static_cast<cmsUInt32Number>(width));
        };
}

void TColorProfile::ToSrgb(TBitmap24& pixels) const {
    if (pixels.Empty() || space_ == TSpace::Other || space_ == TSpace::Cmyk) return;
    const int bytes = pixels.PixelBytes();
    const TProfileHandle srgb{cmsCreate_sRGBProfile()};
    // The fourth byte of 4-byte pixels goes along as it is.
    const cmsUInt32Number copy = space_ == TSpace::Rgb && bytes == 4 ? cmsFLAGS_COPY_ALPHA : 0;
    const TTransform transform{cmsCreateTransform(
        impl_->Profile, InputFormat(space_, bytes), srgb.Handle,
        bytes == 4 ? TYPE_BGRA_8 : TYPE_BGR_8, impl_->Intent, impl_->Flags | copy)};
    if (transform.Handle == nullptr) throw EError(msg::kNoColourTransform, {description_});
    std::vector<std::uint8_t> row(static_cast<std::size_t>(pixels.Width()) * bytes);
    for (int y = 0; y < pixels.Height(); ++y) {
        cmsDoTransform(transform.Handle, pixels.Row(y), row.data(),
                       static_cast<cmsUInt32Number>(pixels.Width()));
        std::memcpy(pixels.Row(y), row.data(), row.size());
    }
}

#else

struct TColorProfile::TImpl {};

bool ConvertsColours() {
    return false;
}

std::vector<std::uint8_t> ProfileFromPrimaries(const double (&)[8], TTransfer) {
    return {};
}

std::optional<TColorProfile> TColorProfile::Parse(std::span<const std::uint8_t>) {
    return std::nullopt;
}

void TColorProfile::ToSrgb(TBitmap24&) const {}

std::function<void(const std::uint8_t*, std::uint8_t*, int, bool)> TColorProfile::InkRows() const {
    return {};
}

#endif

TColorProfile::TColorProfile(std::unique_ptr<TImpl> impl) : impl_(std::move(impl)) {}
TColorProfile::~TColorProfile() = default;
TColorProfile::TColorProfile(TColorProfile&&) noexcept = default;
TColorProfile& TColorProfile::operator=(TColorProfile&&) noexcept = default;

} // namespace tevrin
