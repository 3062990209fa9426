// SPDX-License-Identifier: MIT
#include "payload/Payload.h"

#include "base/Errors.h"
#include "payload/Trailer.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string_view>
#include <vector>

namespace tevrin {
namespace {

constexpr std::size_t kCopyChunk = 61440;

// A copy that could not be written: the disk is full or the folder gone,
// and the items after it would fare no better.
class EWriteFailed : public EReadError {
    using EReadError::EReadError;
};

// Copies `size` bytes at `offset` of `source` into a new file at `target`.
// A zero size makes an empty file. The range was checked by the caller; a
// copy that fails halfway is deleted again, and the error names the file and
// the system's reason.
void ExtractItem(TFile& source, std::int64_t offset, std::int64_t size, const std::string& target) {
    if (!source.Seek(offset)) throw EReadError(msg::kStreamReadError);
    TFile out(target, TFile::TMode::CreateExclusive);
    if (!out.IsOpen())
        throw EWriteFailed(msg::kCannotCreateFile, {target + " (" + LastErrorText() + ")"});
    std::vector<std::uint8_t> buffer(
        std::min<std::size_t>(kCopyChunk, static_cast<std::size_t>(size)));
    std::int64_t left = size;
    while (left > 0) {
        std::size_t chunk = static_cast<std::size_t>(std::min<std::int64_t>(left, kCopyChunk));
        const bool read = source.Read(buffer.data(), chunk) == chunk;
        const bool written = read && out.Write(buffer.data(), chunk);
        if (!written) {
            const std::string reason = read ? LastErrorText() : std::string();
            out.Close();
            std::remove(target.c_str());
            if (!read) throw EReadError(msg::kStreamReadError);
            throw EWriteFailed(msg::kCannotCreateFile, {target + " (" + reason + ")"});
        }
        left -= static_cast<std::int64_t>(chunk);
    }
}

// Byte ranges [first, last) of the saver file that an item to copy out may
// not touch, and the ones copied so far.
class TTakenRanges {
public:
    void Add(std::int64_t first, std::int64_t last) {
        if (last > first) taken_.emplace_back(first, last);
    }
    bool Overlaps(std::int64_t first, std::int64_t last) const {
        if (last <= first) return false;
        for (const auto& [a, b] : taken_)
            if (first < b && a < last) return true;
        return false;
    }

private:
    std::vector<std::pair<std::int64_t, std::int64_t>> taken_;
};

// Where the component stream at `offset` ends, read without its data
// blocks; nothing when it does not read.
std::optional<std::int64_t> StreamEnd(TFile& file, std::int64_t offset) {
    if (!file.Seek(offset)) return std::nullopt;
    try {
        TFileSource source(file);
        const std::uint64_t before = source.Remaining();
        TReader reader(source);
        reader.SkipStream();
        return offset + static_cast<std::int64_t>(before - source.Remaining());
    } catch (const EError&) {
        return std::nullopt;
    }
}

// Where each item lies and whether it may be read (PlacePayloadItems), for
// a payload of `payload_length` (none, or one that does not fit, is all of
// the file before the trailer) whose record spans [record_at, record_end).
TPayloadPlaces Place(TFile& file, const TSSFileLocations& record, std::int32_t payload_length,
                     std::int64_t record_at, std::int64_t record_end) {
    const std::int64_t trailer_at = TrailerEnd(file) - kTrailerSize;
    const std::int64_t payload_at =
        payload_length > 0 && payload_length <= trailer_at ? trailer_at - payload_length : 0;
    TPayloadPlaces places;
    TTakenRanges taken;
    taken.Add(record_at, std::max<std::int64_t>(record_end, record_at + 1));
    // Pictures are taken whether or not they may be read: a sound may not
    // lie in what any picture offset points to.
    TTakenRanges pictures;
    for (int i = 0; i < record.PicCount(); ++i) {
        TItemPlace place;
        place.Offset = record.PicOffset(i);
        const std::optional<std::int64_t> end = StreamEnd(file, place.Offset);
        place.Length = end.value_or(place.Offset + 1) - place.Offset;
        for (int k = 0; k < i; ++k)
            if (places.Pictures[static_cast<std::size_t>(k)].Offset == place.Offset) {
                place.SameAs = k;
                break;
            }
        if (place.SameAs >= 0) {
            place.Why = places.Pictures[static_cast<std::size_t>(place.SameAs)].Why;
        } else if (place.Offset < payload_at || !end || *end > trailer_at) {
            place.Why = "lies outside the payload";
        } else if (taken.Overlaps(place.Offset, *end) || pictures.Overlaps(place.Offset, *end)) {
            place.Why = "overlaps another picture or the description record";
        }
        if (place.SameAs < 0) pictures.Add(place.Offset, place.Offset + place.Length);
        places.Pictures.push_back(place);
    }
    for (int i = 0; i < record.PicCount(); ++i)
        taken.Add(places.Pictures[static_cast<std::size_t>(i)].Offset,
                  places.Pictures[static_cast<std::size_t>(i)].Offset +
                      places.Pictures[static_cast<std::size_t>(i)].Length);
    auto raw = [&](int count, auto offset, auto size, auto name, std::vector<TItemPlace>& out) {
        for (int i = 0; i < count; ++i) {
            TItemPlace place;
            try {
                (void)name(i);
                place.Offset = offset(i);
                place.Length = size(i);
            } catch (const EError& e) {
                place.Why = e.what();
                place.Unlisted = true;
                out.push_back(place);
                continue;
            }
            const std::int64_t first = place.Offset, last = first + place.Length;
            if (first < payload_at || place.Length < 0 || last > trailer_at)
                place.Why = "lies outside the payload";
            else if (taken.Overlaps(first, last))
                place.Why = "overlaps a picture, the description record or an item before it";
            else
                taken.Add(first, last);
            out.push_back(place);
        }
    };
    raw(
        record.SndCount(), [&](int k) { return record.SndOffset(k); },
        [&](int k) { return record.SndSize(k); }, [&](int k) { return record.SndFileName(k); },
        places.Sounds);
    raw(
        record.FlashCount(), [&](int k) { return record.FlashOffset(k); },
        [&](int k) { return record.FlashSize(k); }, [&](int k) { return record.FlashFileName(k); },
        places.Movies);
    return places;
}

} // namespace

void ReadRecord(TFile& file, TSSFileLocations& record) {
    TFileSource source(file);
    TReader reader(source);
    ReadComponent(reader, record);
}

bool ReadSaverRecord(const std::string& path, TSSFileLocations& record) {
    TFile file = OpenOwnFile(path);
    const std::optional<std::int32_t> at = ReadTrailerField(file, TTrailerField::RecordOffset);
    if (!at) return false;
    if (!file.Seek(*at)) throw EReadError(msg::kStreamReadError);
    ReadRecord(file, record);
    return true;
}

TLoadOutcome LoadPayload(const std::string& path, TSSFileLocations& record, TTempFolder& temp) {
    TFile file = OpenOwnFile(path);
    TLoadOutcome outcome;
    const std::optional<std::int32_t> payload_length =
        ReadTrailerField(file, TTrailerField::PayloadLength);
    if (!payload_length) return {TLoadOutcome::TrailerMissing, {}, {}};
    std::optional<std::int32_t> record_offset = ReadTrailerField(file, TTrailerField::RecordOffset);
    if (!record_offset) return {TLoadOutcome::TrailerMissing, {}, {}};

    const std::int64_t trailer_at = TrailerEnd(file) - kTrailerSize;
    std::int64_t record_end = trailer_at;
    try {
        if (!file.Seek(*record_offset)) throw EReadError(msg::kStreamReadError);
        TFileSource source(file);
        const std::uint64_t before = source.Remaining();
        TReader reader(source);
        ReadComponent(reader, record);
        record_end = *record_offset + static_cast<std::int64_t>(before - source.Remaining());
    } catch (const EError& e) {
        outcome.Result = TLoadOutcome::RecordUnreadable;
        outcome.Error = e.what();
    }
    if (record.SndCount() == 0 && record.FlashCount() == 0) return outcome;
    const TPayloadPlaces places = Place(file, record, *payload_length, *record_offset, record_end);

    try {
        temp.Create();
    } catch (const EError& e) {
        outcome.Skipped.push_back(e.what());
        return outcome;
    }
    auto extract = [&](int i, const std::vector<TItemPlace>& place, auto name) {
        try {
            const std::string target = temp.PathFor(name(i));
            const TItemPlace& where = place[static_cast<std::size_t>(i)];
            if (!where.Why.empty())
                throw EReadError(where.Unlisted ? where.Why : msg::kStreamReadError);
            ExtractItem(file, where.Offset, where.Length, target);
            return true;
        } catch (const EWriteFailed& e) {
            outcome.Skipped.push_back(e.what());
            return false;
        } catch (const EError& e) {
            outcome.Skipped.push_back(e.what());
            return true;
        }
    };
    bool go_on = true;
    for (int i = 0; go_on && i < record.SndCount(); ++i)
        go_on = extract(i, places.Sounds, [&](int k) { return record.SndFileName(k); });
    for (int i = 0; go_on && i < record.FlashCount(); ++i)
        go_on = extract(i, places.Movies, [&](int k) { return record.FlashFileName(k); });
    return outcome;
}

namespace {

// The picture record whose stream starts at `offset` of an open file.
std::unique_ptr<TImage> ReadPictureAt(TFile& file, std::int64_t offset) {
    if (!file.Seek(offset)) throw EReadError(msg::kStreamReadError);
    TFileSource source(file);
    TReader reader(source);
    std::unique_ptr<TComponent> object = ReadComponent(reader);
    if (auto* image = dynamic_cast<TImage*>(object.get())) {
        object.release();
        return std::unique_ptr<TImage>(image);
    }
    // A registered class that is no picture: there is nothing to show.
    throw EReadError(msg::kInvalidStreamFormat);
}

} // namespace

TPayloadPlaces PlacePayloadItems(const std::string& path, const TSSFileLocations& record) {
    TFile file = OpenOwnFile(path);
    const std::optional<std::int32_t> payload_length =
        ReadTrailerField(file, TTrailerField::PayloadLength);
    const std::optional<std::int32_t> record_at =
        ReadTrailerField(file, TTrailerField::RecordOffset);
    if (!payload_length || !record_at) throw EReadError(msg::kStreamReadError);
    const std::int64_t record_end = StreamEnd(file, *record_at).value_or(*record_at + 1);
    return Place(file, record, *payload_length, *record_at, record_end);
}

std::unique_ptr<TImage> FetchPicture(const std::string& path, const TSSFileLocations& record,
                                     int index) {
    TFile file = OpenOwnFile(path);
    return ReadPictureAt(file, record.PicOffset(index));
}

std::unique_ptr<TImage> ReadFirstPicture(const std::string& path) {
    TFile file = OpenOwnFile(path);
    std::optional<std::int32_t> length = ReadTrailerField(file, TTrailerField::PayloadLength);
    if (!length) return nullptr;
    return ReadPictureAt(file, TrailerEnd(file) - kTrailerSize - *length);
}

void RemoveExtractedFiles(const TSSFileLocations& record, TTempFolder& temp) {
    auto remove = [&](const std::string& name) {
        std::string safe = SafeFileName(name);
        if (!safe.empty()) std::remove(temp.PathFor(safe).c_str());
    };
    for (int i = 0; i < record.SndCount(); ++i) {
        if (i >= static_cast<int>(record.List(TSSFileLocations::SndFileNamesList).size())) break;
        remove(record.SndFileName(i));
    }
    for (int i = 0; i < record.FlashCount(); ++i) {
        if (i >= static_cast<int>(record.List(TSSFileLocations::FlashFileNamesList).size())) break;
        remove(record.FlashFileName(i));
    }
    temp.Remove();
}

} // namespace tevrin
