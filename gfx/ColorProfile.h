// SPDX-License-Identifier: MIT
// Embedded colour profiles: found in a picture file, and its pixels turned
// from them into sRGB, the colours every screen of ours is taken to show.
// The conversion is lcms2's, where the build has it (TEVRIN_HAVE_LCMS2);
// without it pictures keep their pixels as decoded.
#pragma once

#include "gfx/Bitmap24.h"
#include "gfx/Jpeg.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tevrin {

// The ICC profile a picture file carries: a JPEG's APP2 "ICC_PROFILE"
// chunks joined in their order (nothing when one is missing), PNG's iCCP
// (inflated), WebP's ICCP; empty when it has none or it is cut short.
std::vector<std::uint8_t> EmbeddedProfile(std::span<const std::uint8_t> file);

// Whether this build converts colours at all.
bool ConvertsColours();

class TColorProfile;
// The profile `icc` describes when a picture in it needs converting:
// nothing when `icc` is empty, cannot be read, is sRGB's, or this build
// converts no colours.
std::optional<TColorProfile> ProfileToConvert(std::span<const std::uint8_t> icc);

// How a colour description without a profile (HEIF's nclx) codes light.
enum class TTransfer { Srgb, Bt709, Pq, Linear };
// An ICC profile of RGB primaries and white (x, y of red, green, blue and
// white) and a transfer, as such a description means them; PQ's light is
// shown with its diffuse white (203 cd/m2) as the screen's white. Empty
// without lcms2.
std::vector<std::uint8_t> ProfileFromPrimaries(const double (&xy)[8], TTransfer transfer);

// Converts `decoded`, the pixels of the picture file `file`, to sRGB from
// the profile the file carries where that is another (RGB or gray); a
// profile that cannot be read leaves them as they are. The profile's name
// when it converted ("?" for a profile without one), else empty.
std::string ToSrgbAsEmbedded(std::span<const std::uint8_t> file, TBitmap24& decoded);

// A JPEG decoded as `how` says, in sRGB's colours: a CMYK one through its
// profile's ink conversion, an RGB or gray one converted from its profile
// after. `converted_from` (optional) gets the profile's name when its
// colours were converted. Raises EError as DecodeJpeg does.
TBitmap24 DecodeJpegInSrgb(std::span<const std::uint8_t> jpeg, TJpegDecode how,
                           std::string* converted_from = nullptr);

class TColorProfile {
public:
    enum class TSpace { Rgb, Gray, Cmyk, Other };

    // The profile `icc` describes; nothing when it is no profile this build
    // reads (always, without lcms2).
    static std::optional<TColorProfile> Parse(std::span<const std::uint8_t> icc);
    ~TColorProfile();
    TColorProfile(TColorProfile&&) noexcept;
    TColorProfile& operator=(TColorProfile&&) noexcept;

    TSpace Space() const { return space_; }
    // The profile's own name for itself ("Adobe RGB (1998)"); may be empty.
    const std::string& Description() const { return description_; }
    // The name as a picture's details show it: "?" for a nameless profile.
    std::string Name() const { return description_.empty() ? "?" : description_; }
    // True when it turns colours into sRGB's own within one step of 8 bits:
    // a picture in it needs no conversion.
    bool IsSrgb() const { return srgb_; }
    // Converts pixels decoded as RGB (or gray, as three equal channels) in
    // place from this profile to sRGB: perceptual where the profile has
    // perceptual tables, else relative colorimetric with black point
    // compensation. Either pixel size.
    void ToSrgb(TBitmap24& pixels) const;
    // For a CMYK profile: rows of four inks to sRGB's BGR, the same way, as
    // a JPEG decode takes them (TJpegDecode::Inks); the profile must
    // outlive the decode.
    std::function<void(const std::uint8_t*, std::uint8_t*, int, bool)> InkRows() const;

private:
    struct TImpl;
    explicit TColorProfile(std::unique_ptr<TImpl> impl);
    std::unique_ptr<TImpl> impl_;
    TSpace space_ = TSpace::Other;
    std::string description_;
    bool srgb_ = false;
};

} // namespace tevrin
