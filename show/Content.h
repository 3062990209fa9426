// SPDX-License-Identifier: MIT
// What a show shows: its pictures, each with its caption and its time. The
// payload of the saver's own file is one source; anything that can hand
// out pictures by number (a project's files, a folder) is another.
#pragma once

#include "gfx/Compose.h"
#include "payload/SSFileLocations.h"

#include <optional>
#include <string>
#include <vector>

namespace tevrin {

class TShowContent {
public:
    virtual ~TShowContent() = default;

    virtual int PictureCount() const = 0;
    // Picture i (0 <= i < PictureCount()) as the show takes it. Raises
    // EError when it cannot be had.
    virtual TShowPicture Picture(int i) const = 0;
    // Picture i's own caption ("" for none), or nothing when the pictures
    // carry no captions of their own and the show's one caption applies.
    virtual std::optional<std::string> Caption(int i) const = 0;
    // Milliseconds picture i stays after its transition, or nothing for the
    // show's interval.
    virtual std::optional<int> IntervalMs(int i) const = 0;
};

// The captions and times a record gives its pictures
// ("CaptionCommaList", "IntervalCommaList"), for sources that keep their
// per-picture choices in one.
std::optional<std::string> RecordCaption(const TSSFileLocations& record, int i);
std::optional<int> RecordIntervalMs(const TSSFileLocations& record, int i);
// Sets those lists from each picture's own caption and time, in picture
// order: each list is present when any picture has an entry for it, and
// absent otherwise.
void SetRecordDetails(TSSFileLocations& record,
                      const std::vector<std::optional<std::string>>& captions,
                      const std::vector<std::optional<int>>& intervals_ms);

// The pictures stored in a saver file's payload, as its record lists them.
// The record must outlive the content.
class TPayloadContent final : public TShowContent {
public:
    TPayloadContent(std::string own_path, const TSSFileLocations& record)
        : own_path_(std::move(own_path)), record_(record) {}

    int PictureCount() const override { return record_.PicCount(); }
    // A stored graphic that is no JPEG gives an empty picture, shown black.
    TShowPicture Picture(int i) const override;
    std::optional<std::string> Caption(int i) const override { return RecordCaption(record_, i); }
    std::optional<int> IntervalMs(int i) const override { return RecordIntervalMs(record_, i); }

private:
    std::string own_path_;
    const TSSFileLocations& record_;
};

} // namespace tevrin
