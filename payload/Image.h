// SPDX-License-Identifier: MIT
// Picture records: the root object of every picture stream in the payload.
#pragma once

#include "gfx/Bitmap24.h"
#include "gfx/Exif.h"
#include "gfx/Jpeg.h"
#include "payload/Stream.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tevrin {

inline constexpr std::string_view kJpegGraphicClass = "TJPEGImage";

// The graphic of a picture record. Only JPEG graphics are read; any other
// class leaves the picture empty, without an error.
class TPicture final : public TPersistent {
public:
    std::string GraphicClass;           // as stored, empty when none was
    std::vector<std::uint8_t> JpegData; // the stored JPEG file
    TJpegInfo Info;                     // its header: size, kind, orientation

    bool Empty() const { return Info.Width == 0; }
    // The size of the picture standing upright.
    int UprightWidth() const { return Info.UprightWidth(); }
    int UprightHeight() const { return Info.UprightHeight(); }

    // Reads "Data": a block holding the graphic class name, then the
    // graphic's own data. A JPEG's header is read from the block at once (a
    // block that is no JPEG fails here); its pixels wait for Decode, which
    // then knows the size they are wanted at.
    bool ReadProperty(std::string_view name, TReader& reader) override;
    // The stored pixels (not yet turned upright); through an 8-bit palette
    // with `palette` (for a display of 8 bits per pixel or fewer). With a
    // minimum size (in upright axes) the decoder scales down by the DCT
    // where a smaller decode still covers it. An empty picture gives an
    // empty bitmap.
    TBitmap24 Decode(int min_width = 0, int min_height = 0, bool palette = false) const;
    // The "Data" block for a JPEG file.
    static std::vector<std::uint8_t> JpegBlock(std::span<const std::uint8_t> jpeg);
};

class TImage final : public TComponent {
public:
    std::string_view ClassName() const override { return "TImage"; }

    std::int32_t Left = 0, Top = 0, Width = 0, Height = 0;
    TPicture Picture;

    bool ReadProperty(std::string_view name, TReader& reader) override;
    TPersistent* SubObject(std::string_view name) override;
    void WriteProperties(TWriter& writer) const override;
};

} // namespace tevrin
