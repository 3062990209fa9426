#include "show/Content.h"

#include "base/IntConv.h"
#include "payload/Payload.h"

namespace tevrin {

std::optional<std::string> RecordCaption(const TSSFileLocations& record, int i) {
    if (!record.Captions) return std::nullopt;
    const TStringList& captions = *record.Captions;
    return i >= 0 && i < static_cast<int>(captions.size()) ? captions[static_cast<std::size_t>(i)]
                                                           : std::string();
}

std::optional<int> RecordIntervalMs(const TSSFileLocations& record, int i) {
    if (!record.Intervals || i < 0 || i >= static_cast<int>(record.Intervals->size()))
        return std::nullopt;
    std::int32_t ms;
    if (!TryStrToInt((*record.Intervals)[static_cast<std::size_t>(i)], ms) || ms < 0)
        return std::nullopt;
    return ms;
}

TShowPicture TPayloadContent::Picture(int i) const {
    TShowPicture picture;
    picture.Jpeg = std::move(FetchPicture(own_path_, record_, i)->Picture.JpegData);
    return picture;
}

} // namespace tevrin
