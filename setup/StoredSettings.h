// SPDX-License-Identifier: MIT
// The user's one stored choice: whether the background music is muted.
//
// It lives in "CONTROL.INI", section "Setup", key "mute" ("1" or "0"). The
// file normally stands beside the executable. A saver installed where its
// folder cannot be written (the system folder, /usr/bin) keeps it in a
// per-user folder instead, named after the saver file. Reading takes the
// per-user file when it exists, else the one beside the executable, so a
// file an administrator placed there still counts; writing goes to the
// per-user file when it exists or the executable's folder cannot be written.
#pragma once

#include <optional>
#include <string>

namespace tevrin {

inline constexpr const char* kStoredSettingsFile = "CONTROL.INI";
inline constexpr const char* kSettingsSection = "Setup";
inline constexpr const char* kMuteKey = "mute";
inline constexpr const char* kFolderKey = "folder";

class TStoredSettings {
public:
    // `exe_path` is the saver file; `user_dir` the per-user base folder
    // (UserConfigDir() when empty).
    explicit TStoredSettings(const std::string& exe_path, const std::string& user_dir = {});

    // The stored setting, or `fallback` when there is none or it does not
    // convert. Any value other than 0 means muted.
    bool ReadMute(bool fallback) const;
    // Writes "1" or "0". Raises "Unable to write to %s" with the file's path.
    void WriteMute(bool muted) const;
    // The pictures folder this user chose for a folder saver, in place of
    // the folders it was packed with ("folder", always in the per-user
    // file); nothing when none was chosen.
    std::optional<std::string> ReadFolder() const;
    // Writes it to the per-user file, which from then on holds the mute
    // choice too (copied over when it was beside the executable). Raises
    // "Unable to write to %s".
    void WriteFolder(const std::string& folder) const;

    const std::string& BesideExePath() const { return beside_exe_; }
    // Where a folder saver keeps, for this user, the pictures its folders
    // held when it last looked.
    std::string FolderIndexPath() const;
    const std::string& PerUserPath() const { return per_user_; }
    std::string ReadPath() const;
    std::string WritePath() const;

private:
    std::string exe_dir_;
    std::string beside_exe_;
    std::string per_user_;
};

// True when a file can be created in `dir`.
bool IsFolderWritable(const std::string& dir);

} // namespace tevrin
