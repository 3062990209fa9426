// SPDX-License-Identifier: MIT
// Pictures found in folders when the show runs: a folder saver's, beside
// whatever its payload stores. The folders are only ever read.
#pragma once

#include "show/Content.h"

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
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

// The picture files of `folders` (and their subfolders with `recursive`),
// by extension, in the order of their paths; folders that are missing or
// cannot be read give none.
std::vector<std::string> FindFolderPictures(const std::vector<std::string>& folders,
                                            bool recursive);

// The stored pictures first, then the folders' in the order of their paths.
// The folders are looked through when the content is made and again on
// Rescan (a show's new round): pictures added meanwhile join then, and
// deleted ones raise EError when asked for. Picture may be asked for on
// another thread.
class TFolderContent final : public TShowContent {
public:
    // `stored` (may be null) and the record outlive the content; the record's
    // folders are expanded for this machine.
    TFolderContent(const TShowContent* stored, const TSSFileLocations& record);

    void Rescan();
    // What the folders held at the last look, expanded.
    const std::vector<std::string>& Folders() const { return folders_; }
    // The file of picture i, or "" for a stored picture.
    std::string FileOf(int i) const;

    int PictureCount() const override;
    TShowPicture Picture(int i) const override;
    // A stored picture's own caption; a folder's pictures take the show's.
    std::optional<std::string> Caption(int i) const override;
    std::optional<int> IntervalMs(int i) const override;

private:
    int StoredCount() const { return stored_ != nullptr ? stored_->PictureCount() : 0; }

    const TShowContent* stored_;
    std::vector<std::string> folders_;
    bool recursive_;
    mutable std::mutex mutex_;
    std::vector<std::string> files_; // under mutex_
};

} // namespace tevrin
