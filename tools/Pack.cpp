// SPDX-License-Identifier: MIT
#include "tools/Pack.h"

#include "base/Errors.h"
#include "base/Paths.h"
#include "base/System.h"
#include "gfx/Compose.h"
#include "gfx/Copy.h"
#include "gfx/Exif.h"
#include "gfx/Jpeg.h"
#include "gfx/PictureFile.h"
#include "gfx/Resample.h"
#include "payload/Image.h"
#include "payload/Payload.h"
#include "payload/TempFolder.h"
#include "payload/Trailer.h"
#include "show/Content.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <memory>
#include <random>
#include <set>

namespace tevrin {
namespace {

namespace fs = std::filesystem;

class TSaverWriter {
public:
    explicit TSaverWriter(const std::string& path)
        : path_(path), out_(PathOf(path), std::ios::binary) {
        if (!out_) throw EError(msg::kCannotCreateFile, {path});
    }

    // Appends bytes and returns the offset they start at, which must be
    // readable as a signed 32-bit number.
    std::int32_t Append(const void* data, std::size_t size, const std::string& what) {
        std::int64_t at = size_;
        if (at > std::numeric_limits<std::int32_t>::max() ||
            static_cast<std::int64_t>(size) > std::numeric_limits<std::int32_t>::max())
            throw EError(msg::kSaverTooLarge, {what});
        out_.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
        if (!out_) throw EError(msg::kUnableToWrite, {path_});
        size_ += static_cast<std::int64_t>(size);
        return static_cast<std::int32_t>(at);
    }

    std::int64_t Size() const { return size_; }

    void Close() {
        out_.close();
        if (!out_) throw EError(msg::kUnableToWrite, {path_});
    }

private:
    std::string path_;
    std::ofstream out_;
    std::int64_t size_ = 0;
};

void CheckItemNames(const std::vector<TPackSource>& items, std::set<std::string>& seen) {
    for (const TPackSource& item : items) {
        const std::string& name = item.Name;
        bool plain = !name.empty() && SafeFileName(name) == name;
        for (char c : name)
            if (static_cast<unsigned char>(c) < 32 || c == '"') plain = false;
        if (!plain) throw EError(msg::kNotUsableFileName, {item.Where});
        if (!seen.insert(name).second) throw EError(msg::kSharedItemName, {name});
    }
}

// The output may be neither a folder nor a file the pack reads: writing it
// would replace an input (by identity: through any name or link).
void CheckOutput(const TPackJob& job) {
    std::error_code error;
    if (fs::is_directory(PathOf(job.Output), error))
        throw EError(msg::kOutputIsFolder, {job.Output});
    if (!fs::exists(PathOf(job.Output), error)) return;
    auto refuse_same = [&](const std::string& input) {
        std::error_code ignored;
        if (!input.empty() && fs::equivalent(PathOf(job.Output), PathOf(input), ignored))
            throw EError(msg::kOutputIsInput, {job.Output, input});
    };
    refuse_same(job.Stub);
    for (const auto* items : {&job.Pictures, &job.Sounds, &job.Movies})
        for (const TPackSource& item : *items)
            refuse_same(item.File);
}

// The pack's temporary files are named ".OUTPUT.tevrin-PID-RANDOM.part"
// beside the output: hidden, marked as ours and by the process that writes
// them.
constexpr std::string_view kPartMark = ".tevrin-";
constexpr std::string_view kPartEnd = ".part";

// A name in the output's folder that no file has: a file of the user's of
// any name is never truncated, and the saver is renamed into place.
std::string TemporaryPathBeside(const std::string& output) {
    const fs::path out = PathOf(output);
    std::random_device random;
    for (;;) {
        char suffix[48];
        std::snprintf(suffix, sizeof suffix, "%.*s%d-%08x%08x%.*s",
                      static_cast<int>(kPartMark.size()), kPartMark.data(), CurrentProcessId(),
                      static_cast<unsigned>(random()), static_cast<unsigned>(random()),
                      static_cast<int>(kPartEnd.size()), kPartEnd.data());
        fs::path candidate = out.parent_path() / PathOf("." + Utf8Of(out.filename()) + suffix);
        std::error_code error;
        if (!fs::exists(candidate, error)) return Utf8Of(candidate);
    }
}

// The process that wrote a temporary file of ours, from its name; 0 for any
// other name.
int PartWriter(const std::string& name) {
    if (name.size() < 2 || name[0] != '.' || !name.ends_with(kPartEnd)) return 0;
    const std::size_t mark = name.rfind(kPartMark);
    if (mark == std::string::npos || mark == 0) return 0;
    const std::string rest = name.substr(mark + kPartMark.size(),
                                         name.size() - kPartEnd.size() - mark - kPartMark.size());
    const std::size_t dash = rest.find('-');
    if (dash == 0 || dash == std::string::npos || rest.size() - dash - 1 != 16) return 0;
    if (!std::all_of(rest.begin(), rest.begin() + static_cast<std::ptrdiff_t>(dash),
                     [](char c) { return c >= '0' && c <= '9'; }) ||
        !std::all_of(rest.begin() + static_cast<std::ptrdiff_t>(dash) + 1, rest.end(),
                     [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); }))
        return 0;
    try {
        return std::stoi(rest.substr(0, dash));
    } catch (const std::exception&) {
        return 0;
    }
}

// Removes what packs into `folder` that were killed left behind: temporary
// files of ours (by their name), of this user, from before `started`, whose
// writer has ended. Anything else is left alone, and so is whatever cannot
// be removed.
void RemoveStaleParts(const fs::path& folder, fs::file_time_type started) {
    std::error_code error;
    for (fs::directory_iterator it(folder.empty() ? fs::path(".") : folder, error), end;
         !error && it != end; it.increment(error)) {
        const std::string name = Utf8Of(it->path().filename());
        const int writer = PartWriter(name);
        if (writer <= 0 || ProcessExists(writer) || !IsOwnRegularFile(Utf8Of(it->path()))) continue;
        std::error_code ignored;
        const fs::file_time_type written = fs::last_write_time(it->path(), ignored);
        if (!ignored && written < started) fs::remove(it->path(), ignored);
    }
}

} // namespace

TPackSource::TPackSource(const std::string& path)
    : Name(Utf8Of(PathOf(path).filename())), Where(path), File(path),
      Read([path] { return ReadFileBytes(path); }) {}

namespace {

// Names compared as a person reads them: runs of digits by their value,
// the rest without regard to case.
bool NaturalLess(const std::string& a, const std::string& b) {
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        const unsigned char ca = static_cast<unsigned char>(a[i]),
                            cb = static_cast<unsigned char>(b[j]);
        if (std::isdigit(ca) && std::isdigit(cb)) {
            std::size_t ei = i, ej = j;
            while (ei < a.size() && std::isdigit(static_cast<unsigned char>(a[ei])))
                ++ei;
            while (ej < b.size() && std::isdigit(static_cast<unsigned char>(b[ej])))
                ++ej;
            std::string_view da(a.data() + i, ei - i), db(b.data() + j, ej - j);
            while (da.size() > 1 && da.front() == '0')
                da.remove_prefix(1);
            while (db.size() > 1 && db.front() == '0')
                db.remove_prefix(1);
            if (da.size() != db.size()) return da.size() < db.size();
            if (da != db) return da < db;
            i = ei, j = ej;
            continue;
        }
        const int la = std::tolower(ca), lb = std::tolower(cb);
        if (la != lb) return la < lb;
        ++i, ++j;
    }
    if ((a.size() - i) != (b.size() - j)) return a.size() - i < b.size() - j;
    return a < b;
}

} // namespace

std::vector<std::string> ExpandPicturePaths(const std::vector<std::string>& paths, bool recursive) {
    std::vector<std::string> out;
    for (const std::string& path : paths) {
        std::error_code error;
        if (!fs::is_directory(PathOf(path), error)) {
            out.push_back(path);
            continue;
        }
        std::vector<std::string> found;
        auto consider = [&](const fs::directory_entry& entry) {
            std::error_code ignored;
            if (entry.is_regular_file(ignored) &&
                HasPictureExtension(Utf8Of(entry.path().filename())))
                found.push_back(Utf8Of(entry.path()));
        };
        if (recursive) {
            for (fs::recursive_directory_iterator
                     it(PathOf(path), fs::directory_options::skip_permission_denied),
                 end;
                 it != end; ++it)
                consider(*it);
        } else {
            for (const fs::directory_entry& entry : fs::directory_iterator(PathOf(path)))
                consider(entry);
        }
        if (found.empty())
            throw EError(msg::kNoPicturesInFolder,
                         {path, recursive ? "" : " (--recursive takes its subfolders)"});
        std::sort(found.begin(), found.end(), NaturalLess);
        out.insert(out.end(), found.begin(), found.end());
    }
    return out;
}

TSaverContents ReadSaverContents(const std::string& path) {
    TSaverContents contents;
    TSSFileLocations& record = contents.Record;
    if (!ReadSaverRecord(path, record)) throw EError(msg::kNoTrailerNoSaver, {path});
    const std::string saver_name = ExtractFileName(path);
    const TPayloadPlaces places = PlacePayloadItems(path, record);
    const auto& picture_names = record.List(TSSFileLocations::PicFileNamesList);
    const auto shared = std::make_shared<const TSSFileLocations>(record);
    for (int i = 0; i < record.PicCount(); ++i) {
        std::string name = i < static_cast<int>(picture_names.size()) && !picture_names[i].empty()
                               ? picture_names[i]
                               : "picture " + std::to_string(i + 1) + ".jpg";
        const std::string where =
            saver_name + ": picture " + std::to_string(i + 1) + " (" + name + ")";
        const TItemPlace& place = places.Pictures[static_cast<std::size_t>(i)];
        if (place.SameAs >= 0) {
            contents.Skipped.push_back(where + " is picture " + std::to_string(place.SameAs + 1) +
                                       " again: stored once");
            continue;
        }
        if (!place.Why.empty()) {
            contents.Skipped.push_back(where + " " + place.Why);
            continue;
        }
        TPackSource& source = contents.Pictures.emplace_back(name, where, path, [path, shared, i] {
            std::unique_ptr<TImage> image = FetchPicture(path, *shared, i);
            if (image->Picture.JpegData.empty())
                throw EError(msg::kGraphicNotRepackable, {image->Picture.GraphicClass});
            return std::move(image->Picture.JpegData);
        });
        source.Caption = RecordCaption(record, i);
        source.IntervalMs = RecordIntervalMs(record, i);
    }
    auto raw = [&](const std::vector<TItemPlace>& items, auto name, const char* kind,
                   std::vector<TPackSource>& out) {
        for (std::size_t i = 0; i < items.size(); ++i) {
            const TItemPlace& place = items[i];
            const std::string where = saver_name + ": " + kind + " " + std::to_string(i + 1);
            if (!place.Why.empty()) {
                contents.Skipped.push_back(where + " " + place.Why);
                continue;
            }
            const std::int64_t at = place.Offset, length = place.Length;
            const std::string item_name = name(static_cast<int>(i));
            out.emplace_back(item_name, where + " (" + item_name + ")", path, [path, at, length] {
                TFile file = OpenOwnFile(path);
                std::vector<std::uint8_t> bytes(static_cast<std::size_t>(length));
                if (!file.Seek(at) || file.Read(bytes.data(), bytes.size()) != bytes.size())
                    throw EReadError(msg::kStreamReadError);
                return bytes;
            });
        }
    };
    raw(
        places.Sounds, [&](int i) { return record.SndFileName(i); }, "sound", contents.Sounds);
    raw(
        places.Movies, [&](int i) { return record.FlashFileName(i); }, "movie", contents.Movies);
    return contents;
}

void PackSaver(TPackJob job, const TPackProgress& progress) {
    if (job.Pictures.empty() && job.Movies.empty() && job.Record.PictureFolders.empty())
        throw EError(msg::kNothingToPack);
    std::set<std::string> names;
    CheckItemNames(job.Sounds, names);
    CheckItemNames(job.Movies, names);

    TSSFileLocations& record = job.Record;
    // The item lists are the pack's to fill; the descriptions stay.
    for (int list = 0; list < TSSFileLocations::kListCount; ++list)
        if (list != TSSFileLocations::DescriptList)
            record.List(static_cast<TSSFileLocations::TListId>(list)).clear();
    std::vector<std::optional<std::string>> captions;
    std::vector<std::optional<int>> intervals;
    for (const TPackSource& source : job.Pictures) {
        captions.push_back(source.Caption);
        intervals.push_back(source.IntervalMs);
    }
    SetRecordDetails(record, captions, intervals);

    const int total = static_cast<int>(job.Pictures.size() + job.Sounds.size() + job.Movies.size());
    int done = 0;
    auto report = [&](const std::string& what) {
        if (progress) progress(done, total, what);
        ++done;
    };

    CheckOutput(job);
    RemoveStaleParts(PathOf(job.Output).parent_path(), fs::file_time_type::clock::now());
    const std::string temp_path = TemporaryPathBeside(job.Output);
    try {
        TSaverWriter out(temp_path);
        std::vector<std::uint8_t> stub = ReadFileBytes(job.Stub);
        out.Append(stub.data(), stub.size(), "the stub");
        const std::int64_t image_end = out.Size();

        for (const TPackSource& source : job.Pictures) {
            report(source.Where);
            TImage image;
            try {
                TStoredPicture stored = PreparePicture(source.Read(), job.Limits);
                if (!stored.Warning.empty())
                    std::fprintf(stderr, "warning: %s: %s\n", source.Where.c_str(),
                                 stored.Warning.c_str());
                image.Width = stored.Width;
                image.Height = stored.Height;
                image.Picture.JpegData = std::move(stored.Jpeg);
            } catch (const EError& e) {
                throw EError(msg::kInItem, {source.Where, e.what()});
            }
            std::vector<std::uint8_t> stream = WriteComponent(image);
            std::int32_t at = out.Append(stream.data(), stream.size(), source.Where);
            record.List(TSSFileLocations::PicList).push_back(std::to_string(at));
            record.List(TSSFileLocations::PicFileNamesList).push_back(source.Name);
        }
        auto add_raw = [&](const std::vector<TPackSource>& sources,
                           TSSFileLocations::TListId offsets, TSSFileLocations::TListId file_names,
                           TSSFileLocations::TListId sizes) {
            for (const TPackSource& source : sources) {
                report(source.Where);
                std::vector<std::uint8_t> bytes;
                try {
                    bytes = source.Read();
                } catch (const EError& e) {
                    throw EError(msg::kInItem, {source.Where, e.what()});
                }
                std::int32_t at = out.Append(bytes.data(), bytes.size(), source.Where);
                record.List(offsets).push_back(std::to_string(at));
                record.List(file_names).push_back(source.Name);
                record.List(sizes).push_back(std::to_string(bytes.size()));
            }
        };
        add_raw(job.Sounds, TSSFileLocations::SndList, TSSFileLocations::SndFileNamesList,
                TSSFileLocations::SndSizesList);
        add_raw(job.Movies, TSSFileLocations::FlashList, TSSFileLocations::FlashFileNamesList,
                TSSFileLocations::FlashSizesList);

        std::vector<std::uint8_t> stream = WriteComponent(record);
        std::int32_t record_at = out.Append(stream.data(), stream.size(), "the description record");
        std::string trailer = MakeTrailer(out.Size() - image_end, record_at);
        out.Append(trailer.data(), trailer.size(), "the trailer");
        out.Close();

        // On the disk before it takes the output's name, and the name with
        // it: after a crash the output is the old file or the whole saver.
        if (!SyncFileToDisk(temp_path))
            throw EError(Format(msg::kUnableToWrite, {temp_path}) + ": " + LastErrorText());
        std::error_code error;
        fs::permissions(PathOf(temp_path), fs::status(PathOf(job.Stub)).permissions(), error);
        fs::rename(PathOf(temp_path), PathOf(job.Output));
        const fs::path folder = PathOf(job.Output).parent_path();
        SyncFolderToDisk(Utf8Of(folder.empty() ? fs::path(".") : folder));
    } catch (...) {
        std::error_code ignored;
        fs::remove(PathOf(temp_path), ignored);
        throw;
    }
}

} // namespace tevrin
