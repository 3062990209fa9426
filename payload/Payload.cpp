#include "payload/Payload.h"

#include "gfx/Errors.h"
#include "payload/Trailer.h"

#include <cstdio>
#include <vector>

namespace tevrin {
namespace {

constexpr std::size_t kCopyChunk = 61440;

// Copies `size` bytes at `offset` of `source` into a new file at `target`.
// A zero size makes an empty file. The range is checked before the file is
// created, and a copy that fails halfway is deleted again.
void ExtractItem(TFile& source, std::int32_t offset, std::int32_t size, const std::string& target) {
    std::int64_t file_size = source.Size();
    if (offset < 0 || size < 0 || static_cast<std::int64_t>(offset) + size > file_size ||
        !source.Seek(offset))
        throw EReadError(msg::kStreamReadError);
    TFile out(target, TFile::TMode::CreateExclusive);
    if (!out.IsOpen()) throw EReadError(msg::kCannotCreateFile, {target});
    std::vector<std::uint8_t> buffer(std::min<std::size_t>(kCopyChunk, static_cast<std::size_t>(size)));
    std::int64_t left = size;
    const char* failure = nullptr;
    while (left > 0 && failure == nullptr) {
        std::size_t chunk = static_cast<std::size_t>(std::min<std::int64_t>(left, kCopyChunk));
        if (source.Read(buffer.data(), chunk) != chunk) failure = msg::kStreamReadError;
        else if (!out.Write(buffer.data(), chunk)) failure = msg::kStreamWriteError;
        left -= static_cast<std::int64_t>(chunk);
    }
    if (failure != nullptr) {
        out.Close();
        std::remove(target.c_str());
        throw EReadError(failure);
    }
}

} // namespace

void ReadRecord(TFile& file, TSSFileLocations& record) {
    TFileSource source(file);
    TReader reader(source);
    ReadComponent(reader, record);
}

TLoadOutcome LoadPayload(const std::string& path, TSSFileLocations& record, TTempFolder& temp) {
    TFile file = OpenOwnFile(path);
    TLoadOutcome outcome;
    // The payload length (field 1) is read only because a missing one ends
    // the load; it is not used.
    if (!ReadTrailerField(file, TTrailerField::PayloadLength)) return {TLoadOutcome::TrailerMissing, {}};
    std::optional<std::int32_t> record_offset = ReadTrailerField(file, TTrailerField::RecordOffset);
    if (!record_offset) return {TLoadOutcome::TrailerMissing, {}};

    try {
        if (!file.Seek(*record_offset)) throw EReadError(msg::kStreamReadError);
        ReadRecord(file, record);
    } catch (const EError& e) {
        outcome = {TLoadOutcome::RecordUnreadable, e.what()};
    }

    if (record.SndCount() > 0 || record.FlashCount() > 0) temp.Create();
    for (int i = 0; i < record.SndCount(); ++i)
        ExtractItem(file, record.SndOffset(i), record.SndSize(i), temp.PathFor(record.SndFileName(i)));
    for (int i = 0; i < record.FlashCount(); ++i)
        ExtractItem(file, record.FlashOffset(i), record.FlashSize(i),
                    temp.PathFor(record.FlashFileName(i)));
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

std::unique_ptr<TImage> FetchPicture(const std::string& path, const TSSFileLocations& record,
                                     int index) {
    TFile file = OpenOwnFile(path);
    return ReadPictureAt(file, record.PicOffset(index));
}

std::unique_ptr<TImage> ReadFirstPicture(const std::string& path) {
    TFile file = OpenOwnFile(path);
    std::optional<std::int32_t> length = ReadTrailerField(file, TTrailerField::PayloadLength);
    if (!length) return nullptr;
    return ReadPictureAt(file, file.Size() - kTrailerSize - *length);
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
