// SPDX-License-Identifier: MIT
#include "gfx/Prepare.h"

#include "base/Errors.h"
#include "gfx/ColorProfile.h"
#include "gfx/Copy.h"
#include "gfx/Exif.h"
#include "gfx/Jpeg.h"
#include "gfx/PictureFile.h"
#include "gfx/Resample.h"

namespace tevrin {

bool TPictureLimits::TooLarge(int w, int h) const {
    return (MaxWidth > 0 && w > MaxWidth) || (MaxHeight > 0 && h > MaxHeight);
}

TRect TPictureLimits::StoredSize(int w, int h) const {
    if (!TooLarge(w, h)) return {0, 0, w, h};
    const TRect r = PlacePicture(w, h, MaxWidth > 0 ? MaxWidth : w, MaxHeight > 0 ? MaxHeight : h,
                                 TFitMode::fmFit);
    return {0, 0, r.Width(), r.Height()};
}

TStoredPicture PreparePicture(std::vector<std::uint8_t> bytes, const TPictureLimits& limits) {
    const TPictureFormat format = SniffPictureFormat(bytes);
    auto too_large = [&](int w, int h) { return limits.TooLarge(w, h); };
    auto limited = [&](int w, int h) { return limits.StoredSize(w, h); };
    TStoredPicture stored;
    // The colours of a profile other than sRGB's are converted where the
    // picture is decoded.
    bool other_colours = false;
    if (ConvertsColours()) {
        const std::vector<std::uint8_t> icc = EmbeddedProfile(bytes);
        if (!icc.empty()) {
            const std::optional<TColorProfile> profile = TColorProfile::Parse(icc);
            if (!profile)
                stored.Warning = msg::kProfileUnreadable;
            else
                other_colours = !profile->IsSrgb();
        }
    }
    TBitmap24 picture;
    int orientation = kOrientationUpright;
    if (format == TPictureFormat::Jpeg) {
        const TJpegInfo info = ReadJpegInfo(bytes.data(), bytes.size());
        const int w = info.UprightWidth(), h = info.UprightHeight();
        if (info.Orientation == kOrientationUpright && !info.Cmyk && !too_large(w, h) &&
            !other_colours) {
            // Stored as given; decoded small, which still reads all its data.
            DecodeJpeg(bytes.data(), bytes.size(), {.MinWidth = 1, .MinHeight = 1});
            stored.Width = info.Width;
            stored.Height = info.Height;
            stored.Jpeg = std::move(bytes);
            return stored;
        }
        const TRect target = limited(w, h);
        picture =
            DecodeJpegInSrgb(bytes, TJpegDecode::Covering(info, target.Width(), target.Height()),
                             &stored.ColoursFrom);
        orientation = info.Orientation;
    } else {
        picture = DecodeUpright(bytes);
        stored.ColoursFrom = ToSrgbAsEmbedded(bytes, picture);
    }
    bytes = {};
    const TUprightView view = UprightView(picture, orientation);
    const TRect target = limited(view.Width, view.Height);
    TBitmap24 upright(target.Width(), target.Height());
    DrawScaled(upright, 0, 0, target.Width(), target.Height(), picture, orientation);
    picture = {};
    stored.Jpeg = EncodeJpeg(upright, limits.Quality);
    stored.Width = upright.Width();
    stored.Height = upright.Height();
    stored.Converted = true;
    return stored;
}

} // namespace tevrin
