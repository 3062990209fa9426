// SPDX-License-Identifier: MIT
#include "payload/Image.h"

#include "base/Errors.h"

namespace tevrin {

bool TPicture::ReadProperty(std::string_view name, TReader& reader) {
    if (!SameText(name, "Data")) return false;
    GraphicClass.clear();
    JpegData.clear();
    Info = {};
    // Read from the stream in place, the JPEG bytes copied once: each part
    // must lie inside the block.
    std::uint64_t left = reader.ReadBinaryLength();
    auto within = [&left](std::uint64_t count) {
        if (count > left) throw EReadError(msg::kStreamReadError);
        left -= count;
    };
    within(1);
    within(reader.PeekByte()); // the class name's length, then the name
    GraphicClass = reader.ReadShortString();
    const bool jpeg = SameText(GraphicClass, kJpegGraphicClass);
    if (jpeg) {
        within(4);
        const std::uint32_t length = reader.ReadUInt32();
        within(length);
        JpegData.resize(length);
        reader.ReadBytes(JpegData.data(), length);
    }
    reader.SkipBytes(left);
    if (jpeg) Info = ReadJpegInfo(JpegData.data(), JpegData.size());
    return true;
}

TBitmap24 TPicture::Decode(int min_width, int min_height, bool palette) const {
    if (Empty()) return {};
    return DecodeJpeg(JpegData.data(), JpegData.size(),
                      TJpegDecode::Covering(Info, min_width, min_height, palette));
}

std::vector<std::uint8_t> TPicture::JpegBlock(std::span<const std::uint8_t> jpeg) {
    TWriter block;
    block.WriteShortString(kJpegGraphicClass);
    block.WriteUInt32(static_cast<std::uint32_t>(jpeg.size()));
    block.WriteBytes(jpeg.data(), jpeg.size());
    return block.Take();
}

bool TImage::ReadProperty(std::string_view name, TReader& reader) {
    std::int32_t* target = SameText(name, "Left")     ? &Left
                           : SameText(name, "Top")    ? &Top
                           : SameText(name, "Width")  ? &Width
                           : SameText(name, "Height") ? &Height
                                                      : nullptr;
    if (target == nullptr) return false;
    *target = reader.ReadInteger();
    return true;
}

TPersistent* TImage::SubObject(std::string_view name) {
    return SameText(name, "Picture") ? &Picture : nullptr;
}

void TImage::WriteProperties(TWriter& writer) const {
    writer.WriteInteger("Left", Left);
    writer.WriteInteger("Top", Top);
    writer.WriteInteger("Width", Width);
    writer.WriteInteger("Height", Height);
    if (!Picture.JpegData.empty())
        writer.WriteBinary("Picture.Data", TPicture::JpegBlock(Picture.JpegData));
}

} // namespace tevrin
