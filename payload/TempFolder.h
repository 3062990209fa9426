// SPDX-License-Identifier: MIT
// Where a run puts the sounds and movies it copies out of its payload.
//
// Each run gets a folder of its own inside the user's temporary folder,
// "tevrin-<process id>-<random>", made so that only its owner can enter it
// and marked as a run folder by a file inside it (kRunMarkerFile). Only
// marked folders of the current user are ever removed as stale: a folder of
// the user's own that happens to be named alike stays.
// A file of the user's that happens to share a stored name is never
// overwritten or deleted, and nobody else can plant a link where a file is
// about to be created. Inside it each file keeps its stored name, reduced to
// its last path component.
#pragma once

#include <string>
#include <string_view>

namespace tevrin {

// The last path component of a stored name (no drive, folders or ".."
// survive), or an empty text when nothing usable remains.
std::string SafeFileName(std::string_view stored_name);

inline constexpr std::string_view kRunFolderPrefix = "tevrin-";
inline constexpr std::string_view kRunMarkerFile = ".tevrin-run";

class TTempFolder {
public:
    // `parent` defaults to the platform's temporary folder.
    explicit TTempFolder(std::string parent = {});
    TTempFolder(const TTempFolder&) = delete;
    TTempFolder& operator=(const TTempFolder&) = delete;

    // The one path a stored name maps to, for extraction, playback and
    // removal alike. Raises "Cannot create file %s" for a name that reduces
    // to nothing, "." or "..".
    std::string PathFor(std::string_view stored_name) const;

    // Makes the folder if this run has none yet. Raises "Cannot create file
    // %s" when it cannot be made.
    void Create();
    // Deletes the folder and whatever is left in it.
    void Remove();

    const std::string& Path() const { return path_; }

    // Removes the run folders in `parent` whose process no longer exists:
    // folders of the current user (not links) that hold the run marker.
    static void RemoveStale(const std::string& parent = {});

private:
    std::string parent_;
    std::string path_;
    bool created_ = false;
};

} // namespace tevrin
