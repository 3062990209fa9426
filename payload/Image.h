// Picture records: the root object of every picture stream in the payload.
#pragma once

#include "gfx/Bitmap24.h"
#include "payload/Stream.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tevrin {

inline constexpr std::string_view kJpegGraphicClass = "TJPEGImage";

// The graphic of a picture record. Only JPEG graphics are decoded; any other
// class leaves the picture empty, without an error.
class TPicture final : public TPersistent {
public:
    std::string GraphicClass;             // as stored, empty when none was
    std::vector<std::uint8_t> JpegData;   // the stored JPEG file
    TBitmap24 Bitmap;                     // the decoded pixels

    bool Empty() const { return Bitmap.Empty(); }

    // Reads "Data": a block holding the graphic class name, then the
    // graphic's own data. A JPEG is decoded from the block alone, in 8-bit
    // palette form when the display has 8 bits per pixel or fewer.
    bool ReadProperty(std::string_view name, TReader& reader) override;
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
