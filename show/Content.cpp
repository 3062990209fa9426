// SPDX-License-Identifier: MIT
#include "show/Content.h"

#include "base/IntConv.h"
#include "payload/Payload.h"

#include <algorithm>

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

void SetRecordDetails(TSSFileLocations& record,
                      const std::vector<std::optional<std::string>>& captions,
                      const std::vector<std::optional<int>>& intervals_ms) {
    record.Captions.reset();
    record.Intervals.reset();
    if (std::any_of(captions.begin(), captions.end(),
                    [](const auto& c) { return c.has_value(); })) {
        record.Captions.emplace();
        for (const std::optional<std::string>& caption : captions)
            record.Captions->push_back(caption.value_or(""));
    }
    if (std::any_of(intervals_ms.begin(), intervals_ms.end(),
                    [](const auto& ms) { return ms.has_value(); })) {
        record.Intervals.emplace();
        for (const std::optional<int>& ms : intervals_ms)
            record.Intervals->push_back(ms ? std::to_string(*ms) : "");
    }
}

TShowPicture TPayloadContent::Picture(int i) const {
    TShowPicture picture;
    picture.Jpeg = std::move(FetchPicture(own_path_, record_, i)->Picture.JpegData);
    return picture;
}

} // namespace tevrin
