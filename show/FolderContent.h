// SPDX-License-Identifier: MIT
// Pictures found in folders when the show runs: a folder saver's, beside
// whatever its payload stores. The folders are only ever read.
#pragma once

#include "show/CaptionTemplate.h"
#include "show/Content.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <stop_token>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

namespace tevrin {

// A folder as the record names it, for this machine: a leading `~` is the
// home folder, $NAME, ${NAME} and %NAME% are environment variables (the
// home folder for HOME and USERPROFILE when they are not set). A variable
// that is not set leaves its text as it stands.
std::string
ExpandFolderPath(const std::string& path,
                 const std::function<std::optional<std::string>(const std::string&)>& variable,
                 const std::string& home);
// The same with this process's environment and home folder.
std::string ExpandFolderPath(const std::string& path);

// What the index keeps of a picture: its file, its size and last write (in
// the file system's own ticks) when the folders were last looked through,
// and what showing it taught: its Exif orientation (1..8; 0 not yet known)
// and when it was taken (as Exif writes it; "" for no date; nothing while
// not yet known). What was taught counts only while size and time match.
struct TIndexedPicture {
    std::string File;
    std::uint64_t Size = 0;
    std::int64_t Time = 0;
    int Orientation = 0;
    std::optional<std::string> Taken;
};

// The pictures an index file lists, in its order; none when it is missing,
// is no index or is cut short (a last line without its end counts for
// nothing).
std::vector<TIndexedPicture> ReadFolderIndex(const std::string& path);

// The stored pictures first, then the folders' in the order of their paths.
// The folders are looked through on a thread of their own, so a show never
// waits long for a large library: the first round starts from the index
// the last run kept, or from what the first moments of looking found, and
// each new round (Rescan) takes the newest look that has ended, asking for
// another. Pictures added meanwhile join then, and deleted ones raise
// EError when asked for. Picture may be asked for on another thread.
class TFolderContent final : public TShowContent {
public:
    // `stored` (may be null) and the record outlive the content; the record's
    // folders are expanded for this machine. `index` names the file that
    // keeps the folders' pictures between runs ("" for none); it is written
    // when a look finds other pictures than it lists, and never needed.
    TFolderContent(const TShowContent* stored, const TSSFileLocations& record,
                   std::string index = {});
    ~TFolderContent() override;
    TFolderContent(const TFolderContent&) = delete;
    TFolderContent& operator=(const TFolderContent&) = delete;

    void Rescan();
    // The folders, expanded.
    const std::vector<std::string>& Folders() const { return folders_; }
    // The file of picture i, or "" for a stored picture.
    std::string FileOf(int i) const;
    // Whether picture i is still there (a stored one always is): a picture
    // made ahead is passed over when its file went meanwhile.
    bool StillThere(int i) const;

    int PictureCount() const override;
    TShowPicture Picture(int i) const override;
    // A stored picture's own caption; a folder's picture its caption made
    // from the record's template (its date and description from its Exif
    // block, else its file's time), else the show's.
    std::optional<std::string> Caption(int i) const override;
    // What showing picture i taught of it, while its file is as it was
    // then; nothing for a stored picture or one not yet shown.
    std::optional<TIndexedPicture> Learned(int i) const;
    std::optional<int> IntervalMs(int i) const override;

private:
    int StoredCount() const { return stored_ != nullptr ? stored_->PictureCount() : 0; }
    // What a picture's own bytes (`bytes`, or its first bytes) say of it,
    // kept for the index while its file stays as it is now.
    TIndexedPicture Learn(const std::string& file, std::span<const std::uint8_t> bytes) const;
    // The index's text for `listed`, with what was taught of each.
    std::string IndexText(const std::vector<TIndexedPicture>& listed) const;
    // Starts a look through the folders unless one is under way; waits up
    // to `wait_ms` for it to end; true when it has.
    bool Look(int wait_ms);
    void LookThrough(const std::stop_token& stop);

    const TShowContent* stored_;
    std::vector<std::string> folders_;
    bool recursive_;
    std::string index_;
    std::optional<TCaptionTemplate> caption_;
    mutable std::mutex mutex_;
    // Under mutex_: what was taught of pictures, by file; and the hash of
    // the index's text as last read or written.
    mutable std::unordered_map<std::string, TIndexedPicture> learned_;
    std::size_t index_hash_ = 0;
    std::condition_variable looked_;
    // Under mutex_: the round's pictures; what the look under way has found
    // so far; the pictures of the last look that ended, until a round takes
    // them; whether a look is under way.
    std::vector<std::string> files_, found_;
    std::optional<std::vector<std::string>> complete_;
    bool looking_ = false;
    std::jthread looker_;
};

} // namespace tevrin
