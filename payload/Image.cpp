#include "payload/Image.h"

#include "base/Errors.h"

namespace tevrin {

bool TPicture::ReadProperty(std::string_view name, TReader& reader) {
    if (!SameText(name, "Data")) return false;
    std::vector<std::uint8_t> block = reader.ReadBinary();
    GraphicClass.clear();
    JpegData.clear();
    Info = {};
    TMemorySource source(block);
    TReader inner(source);
    GraphicClass = inner.ReadShortString();
    if (!SameText(GraphicClass, kJpegGraphicClass)) return true;
    std::uint32_t length = inner.ReadUInt32();
    inner.CheckAvailable(length);
    JpegData.resize(length);
    inner.ReadBytes(JpegData.data(), length);
    Info = ReadJpegInfo(JpegData.data(), JpegData.size());
    return true;
}

TBitmap24 TPicture::Decode(int min_width, int min_height, bool palette) const {
    if (Empty()) return {};
    TJpegDecode how;
    how.MinWidth = SwapsAxes(Info.Orientation) ? min_height : min_width;
    how.MinHeight = SwapsAxes(Info.Orientation) ? min_width : min_height;
    how.Palette8 = palette;
    return DecodeJpeg(JpegData.data(), JpegData.size(), how);
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
