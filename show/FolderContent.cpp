// SPDX-License-Identifier: MIT
#include "show/FolderContent.h"

#include "base/Errors.h"
#include "base/Paths.h"
#include "base/System.h"
#include "gfx/Exif.h"
#include "gfx/PictureFile.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <filesystem>
#include <tuple>

namespace tevrin {

namespace fs = std::filesystem;

namespace {

bool NameChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_';
}

// The bytes of a picture file in which its Exif block lies: the first of
// them for JPEG, PNG and WebP, whose writers put it ahead of the pixels; a
// HEIF file whole. Empty when it cannot be read.
std::vector<std::uint8_t> ExifBytesOf(const std::string& path) {
    constexpr std::size_t kHead = 256 * 1024;
    TFile file(path, TFile::TMode::ReadShared);
    if (!file.IsOpen()) return {};
    std::vector<std::uint8_t> bytes(kHead);
    bytes.resize(file.Read(bytes.data(), bytes.size()));
    if (bytes.size() == kHead && SniffPictureFormat(bytes) == TPictureFormat::Heif) {
        try {
            return ReadFileBytes(path);
        } catch (const EError&) {
            return {};
        }
    }
    return bytes;
}

} // namespace

std::string
ExpandFolderPath(const std::string& path,
                 const std::function<std::optional<std::string>(const std::string&)>& variable,
                 const std::string& home) {
    auto value_of = [&](const std::string& name) -> std::optional<std::string> {
        if (auto value = variable(name)) return value;
        if ((name == "HOME" || name == "USERPROFILE") && !home.empty()) return home;
        return std::nullopt;
    };
    std::string out;
    std::size_t i = 0;
    if (!path.empty() && path[0] == '~' &&
        (path.size() == 1 || path[1] == '/' || path[1] == '\\') && !home.empty()) {
        out = home;
        i = 1;
    }
    while (i < path.size()) {
        const char c = path[i];
        if (c == '%') {
            const std::size_t end = path.find('%', i + 1);
            if (end != std::string::npos && end > i + 1) {
                const std::string name = path.substr(i + 1, end - i - 1);
                if (std::all_of(name.begin(), name.end(), NameChar))
                    if (auto value = value_of(name)) {
                        out += *value;
                        i = end + 1;
                        continue;
                    }
            }
        } else if (c == '$') {
            const bool braced = i + 1 < path.size() && path[i + 1] == '{';
            std::size_t from = i + (braced ? 2 : 1), end = from;
            while (end < path.size() && NameChar(path[end]))
                ++end;
            const bool closed = !braced || (end < path.size() && path[end] == '}');
            if (end > from && closed)
                if (auto value = value_of(path.substr(from, end - from))) {
                    out += *value;
                    i = end + (braced ? 1 : 0);
                    continue;
                }
        }
        out += c;
        ++i;
    }
    return out;
}

std::string ExpandFolderPath(const std::string& path) {
    return ExpandFolderPath(path, EnvironmentVariable, UserHomeDir());
}

namespace {

// A file's size and last write, as the index keeps them; zeros when it
// cannot be told.
std::pair<std::uint64_t, std::int64_t> StampOf(const fs::path& path) {
    std::error_code error;
    const std::uintmax_t size = fs::file_size(path, error);
    if (error) return {0, 0};
    const auto time = fs::last_write_time(path, error);
    if (error) return {0, 0};
    return {size, static_cast<std::int64_t>(time.time_since_epoch().count())};
}

// Every picture file under the folders, each handed to `take` as it is
// found with its size and time, until `stop` is asked.
void WalkFolders(const std::vector<std::string>& folders, bool recursive,
                 const std::function<void(TIndexedPicture)>& take, const std::stop_token& stop) {
    const auto options = fs::directory_options::skip_permission_denied;
    for (const std::string& folder : folders) {
        std::error_code error;
        const fs::path root = PathOf(folder);
        if (!fs::is_directory(root, error)) continue;
        auto visit = [&](const fs::directory_entry& entry) {
            std::error_code e;
            if (!entry.is_regular_file(e) || !HasPictureExtension(Utf8Of(entry.path().filename())))
                return;
            TIndexedPicture found;
            found.File = Utf8Of(entry.path());
            std::tie(found.Size, found.Time) = StampOf(entry.path());
            take(std::move(found));
        };
        // A folder that cannot be read further gives what was found so far.
        if (recursive) {
            for (fs::recursive_directory_iterator it(root, options, error), end;
                 !error && it != end && !stop.stop_requested(); it.increment(error))
                visit(*it);
        } else {
            for (fs::directory_iterator it(root, options, error), end;
                 !error && it != end && !stop.stop_requested(); it.increment(error))
                visit(*it);
        }
    }
}

void PathOrder(std::vector<std::string>& files) {
    std::sort(files.begin(), files.end());
    files.erase(std::unique(files.begin(), files.end()), files.end());
}

void PathOrder(std::vector<TIndexedPicture>& pictures) {
    auto by_file = [](const TIndexedPicture& a, const TIndexedPicture& b) {
        return a.File < b.File;
    };
    std::sort(pictures.begin(), pictures.end(), by_file);
    pictures.erase(std::unique(pictures.begin(), pictures.end(),
                               [](const TIndexedPicture& a, const TIndexedPicture& b) {
                                   return a.File == b.File;
                               }),
                   pictures.end());
}

// The index: a first line naming it, then a picture a line: its file, size,
// time, orientation and date taken, separated by tabs ("?" for a date not
// yet known). The first version listed files alone.
constexpr std::string_view kIndexHeader = "tevrin folder index 2";
constexpr std::string_view kFirstIndexHeader = "tevrin folder index 1";
constexpr std::size_t kMaxIndexBytes = 64u << 20;
// How long a new round waits for a look to end before it goes on with the
// last one that did, and how long the first round waits for a first look.
constexpr int kRoundWaitMs = 250;
constexpr int kFirstWaitMs = 700;

} // namespace

std::vector<TIndexedPicture> ReadFolderIndex(const std::string& path) {
    std::vector<TIndexedPicture> pictures;
    const std::optional<std::string> text = ReadSmallFile(path, kMaxIndexBytes);
    if (!text) return pictures;
    const bool first_version = text->starts_with(kFirstIndexHeader) &&
                               text->size() > kFirstIndexHeader.size() &&
                               (*text)[kFirstIndexHeader.size()] == '\n';
    if (!first_version && !(text->starts_with(kIndexHeader) && text->size() > kIndexHeader.size() &&
                            (*text)[kIndexHeader.size()] == '\n'))
        return pictures;
    std::size_t at = text->find('\n');
    while (at != std::string::npos && at + 1 < text->size()) {
        const std::size_t end = text->find('\n', at + 1);
        if (end == std::string::npos) break; // a cut last line counts for nothing
        const std::string_view line(text->data() + at + 1, end - at - 1);
        at = end;
        if (line.empty()) continue;
        TIndexedPicture picture;
        if (first_version) {
            picture.File = line;
            pictures.push_back(std::move(picture));
            continue;
        }
        std::vector<std::string_view> fields;
        for (std::size_t from = 0;;) {
            const std::size_t tab = line.find('\t', from);
            fields.push_back(line.substr(from, tab - from));
            if (tab == std::string_view::npos) break;
            from = tab + 1;
        }
        if (fields.size() != 5 || fields[0].empty()) continue; // not ours: passed over
        auto number = [](std::string_view text, auto& value) {
            const auto [end, error] =
                std::from_chars(text.data(), text.data() + text.size(), value);
            return error == std::errc() && end == text.data() + text.size();
        };
        if (!number(fields[1], picture.Size) || !number(fields[2], picture.Time) ||
            !number(fields[3], picture.Orientation) || picture.Orientation < 0 ||
            picture.Orientation > 8)
            continue;
        picture.File = fields[0];
        if (fields[4] != "?") picture.Taken = std::string(fields[4]);
        pictures.push_back(std::move(picture));
    }
    return pictures;
}

TFolderContent::TFolderContent(const TShowContent* stored, const TSSFileLocations& record,
                               std::string index)
    : stored_(stored), recursive_(record.lRecursive), index_(std::move(index)) {
    for (const std::string& folder : record.PictureFolders)
        folders_.push_back(ExpandFolderPath(folder));
    if (!record.CaptionTemplate.empty()) {
        try {
            caption_.emplace(record.CaptionTemplate, record.CaptionDateFormat.empty()
                                                         ? kDefaultDateFormat
                                                         : record.CaptionDateFormat);
        } catch (const EError&) {
            // A template in error captions nothing: the show's text stands.
        }
    }
    if (!index_.empty()) {
        for (TIndexedPicture& picture : ReadFolderIndex(index_)) {
            files_.push_back(picture.File);
            if (picture.Orientation != 0 || picture.Taken)
                learned_.emplace(picture.File, std::move(picture));
        }
        if (const auto text = ReadSmallFile(index_, kMaxIndexBytes))
            index_hash_ = std::hash<std::string>()(*text);
    }
    // Without an index the first round takes what a first look finds in a
    // moment; the look goes on for the rounds after.
    const bool ended = Look(files_.empty() ? kFirstWaitMs : 0);
    const std::lock_guard lock(mutex_);
    if (ended) {
        files_ = std::move(*complete_);
        complete_.reset();
    } else if (files_.empty()) {
        files_ = found_;
        PathOrder(files_);
    }
}

TFolderContent::~TFolderContent() {
    looker_.request_stop();
}

bool TFolderContent::Look(int wait_ms) {
    std::unique_lock lock(mutex_);
    if (!looking_) {
        looking_ = true;
        if (looker_.joinable()) looker_.join(); // it has ended
        looker_ = std::jthread([this](std::stop_token stop) { LookThrough(stop); });
    }
    return looked_.wait_for(lock, std::chrono::milliseconds(wait_ms), [this] { return !looking_; });
}

void TFolderContent::LookThrough(const std::stop_token& stop) {
    std::vector<TIndexedPicture> listed;
    std::vector<std::string> batch;
    auto hand_over = [&] {
        const std::lock_guard lock(mutex_);
        found_.insert(found_.end(), std::make_move_iterator(batch.begin()),
                      std::make_move_iterator(batch.end()));
        batch.clear();
    };
    WalkFolders(
        folders_, recursive_,
        [&](TIndexedPicture picture) {
            batch.push_back(picture.File);
            listed.push_back(std::move(picture));
            if (batch.size() >= 256) hand_over();
        },
        stop);
    hand_over();
    {
        const std::lock_guard lock(mutex_);
        found_.clear();
    }
    PathOrder(listed);
    // Kept for the next run when it differs from what the last run kept.
    if (!index_.empty() && !stop.stop_requested()) {
        const std::string text = IndexText(listed);
        const std::size_t hash = std::hash<std::string>()(text);
        bool changed;
        {
            const std::lock_guard lock(mutex_);
            changed = hash != index_hash_;
            index_hash_ = hash;
        }
        if (changed) {
            std::error_code error;
            fs::create_directories(PathOf(index_).parent_path(), error);
            ReplaceFileContents(index_, text);
        }
    }
    std::vector<std::string> files;
    files.reserve(listed.size());
    for (TIndexedPicture& picture : listed)
        files.push_back(std::move(picture.File));
    {
        const std::lock_guard lock(mutex_);
        complete_ = std::move(files);
        looking_ = false;
    }
    looked_.notify_all();
}

std::string TFolderContent::IndexText(const std::vector<TIndexedPicture>& listed) const {
    std::string text(kIndexHeader);
    text += '\n';
    const std::lock_guard lock(mutex_);
    for (const TIndexedPicture& picture : listed) {
        // A name the lines cannot hold is left to the next look to find.
        if (picture.File.find_first_of("\t\n") != std::string::npos) continue;
        int orientation = 0;
        std::string taken = "?";
        if (auto it = learned_.find(picture.File); it != learned_.end()) {
            if (it->second.Size == picture.Size && it->second.Time == picture.Time) {
                orientation = it->second.Orientation;
                if (it->second.Taken) taken = *it->second.Taken;
            } else {
                learned_.erase(it); // the file changed since: taught again when shown
            }
        }
        text += picture.File + '\t' + std::to_string(picture.Size) + '\t' +
                std::to_string(picture.Time) + '\t' + std::to_string(orientation) + '\t' + taken +
                '\n';
    }
    return text;
}

TIndexedPicture TFolderContent::Learn(const std::string& file,
                                      std::span<const std::uint8_t> bytes) const {
    TIndexedPicture picture;
    picture.File = file;
    std::tie(picture.Size, picture.Time) = StampOf(PathOf(file));
    const std::vector<std::uint8_t> exif = PictureExif(bytes);
    picture.Orientation = ExifOrientation(exif);
    picture.Taken = ReadExifText(exif).Taken;
    const std::lock_guard lock(mutex_);
    learned_[file] = picture;
    return picture;
}

std::optional<TIndexedPicture> TFolderContent::Learned(int i) const {
    if (i >= 0 && i < StoredCount()) return std::nullopt;
    std::string file;
    try {
        file = FileOf(i);
    } catch (const EError&) {
        return std::nullopt;
    }
    const auto [size, time] = StampOf(PathOf(file));
    const std::lock_guard lock(mutex_);
    const auto it = learned_.find(file);
    if (it == learned_.end() || it->second.Size != size || it->second.Time != time)
        return std::nullopt;
    return it->second;
}

void TFolderContent::Rescan() {
    // The newest look that has ended: this round's, when it ends soon,
    // else one that ended since the last round; else the round's pictures
    // stay.
    Look(kRoundWaitMs);
    const std::lock_guard lock(mutex_);
    if (complete_) {
        files_ = std::move(*complete_);
        complete_.reset();
    }
}

int TFolderContent::PictureCount() const {
    const std::lock_guard lock(mutex_);
    return StoredCount() + static_cast<int>(files_.size());
}

std::string TFolderContent::FileOf(int i) const {
    const int stored = StoredCount();
    if (i < stored) return {};
    const std::lock_guard lock(mutex_);
    const auto k = static_cast<std::size_t>(i - stored);
    if (i < 0 || k >= files_.size()) throw EError(msg::kIndexOutOfBounds);
    return files_[k];
}

bool TFolderContent::StillThere(int i) const {
    if (i >= 0 && i < StoredCount()) return true;
    try {
        std::error_code error;
        return fs::is_regular_file(PathOf(FileOf(i)), error);
    } catch (const EError&) {
        return false;
    }
}

TShowPicture TFolderContent::Picture(int i) const {
    if (i >= 0 && i < StoredCount()) return stored_->Picture(i);
    const std::string file = FileOf(i);
    try {
        std::vector<std::uint8_t> bytes = ReadFileBytes(file);
        Learn(file, bytes);
        return ReadShowPicture(std::move(bytes));
    } catch (const EError& e) {
        throw EError(msg::kPictureUnreadable, {file, e.what()});
    }
}

std::optional<std::string> TFolderContent::Caption(int i) const {
    if (i >= 0 && i < StoredCount()) return stored_->Caption(i);
    if (!caption_) return std::nullopt;
    TCaptionFields fields;
    std::string file;
    try {
        file = FileOf(i);
    } catch (const EError&) {
        return std::nullopt; // gone with the last look
    }
    fields.File = Utf8Of(PathOf(file).stem());
    fields.N = i + 1;
    fields.Count = PictureCount();
    if (caption_->NeedsFacts()) {
        // The date alone may be known from the index, read again only when
        // the file changed.
        const std::optional<TIndexedPicture> known =
            caption_->NeedsTitle() ? std::nullopt : Learned(i);
        if (known && known->Taken) {
            fields.Date = ParseExifDate(*known->Taken);
        } else {
            const std::vector<std::uint8_t> head = ExifBytesOf(file);
            const TExifText text = ReadExifText(PictureExif(head));
            fields.Date = ParseExifDate(text.Taken);
            fields.Title = text.Description;
            Learn(file, head);
        }
        if (!fields.Date) fields.Date = FileModifiedLocal(file);
    }
    return caption_->Resolve(fields);
}

std::optional<int> TFolderContent::IntervalMs(int i) const {
    if (i >= 0 && i < StoredCount()) return stored_->IntervalMs(i);
    return std::nullopt;
}

} // namespace tevrin
