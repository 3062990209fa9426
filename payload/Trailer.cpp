#include "payload/Trailer.h"

#include "base/Errors.h"
#include "base/IntConv.h"

#include <string_view>

namespace tevrin {

TFile OpenOwnFile(const std::string& path) {
    TFile file(path, TFile::TMode::ReadShared);
    if (!file.IsOpen()) throw EReadError(msg::kCannotOpenFile, {path});
    return file;
}

std::optional<std::int32_t> ReadTrailerField(TFile& file, TTrailerField field) {
    std::int64_t size = file.Size();
    std::int64_t at = size - kTrailerSize + kTrailerFieldWidth * (static_cast<int>(field) - 1);
    char text[kTrailerFieldWidth];
    if (size < kTrailerSize || !file.Seek(at) || file.Read(text, sizeof text) != sizeof text)
        return std::nullopt;
    return StrToIntDef(TrimControl(std::string_view(text, sizeof text)), 0);
}

std::string MakeTrailer(std::int64_t payload_length, std::int64_t record_offset) {
    auto field = [](std::int64_t value) {
        std::string text = std::to_string(value);
        text.resize(kTrailerFieldWidth, ' ');
        return text;
    };
    return field(payload_length) + field(record_offset);
}

} // namespace tevrin
