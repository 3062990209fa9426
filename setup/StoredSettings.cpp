// SPDX-License-Identifier: MIT
#include "setup/StoredSettings.h"

#include "base/Errors.h"
#include "base/IntConv.h"
#include "base/Paths.h"
#include "base/System.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace tevrin {

bool IsFolderWritable(const std::string& dir) {
    std::string probe = JoinPath(dir, ".tevrin-write-probe-" + std::to_string(CurrentProcessId()));
    TFile file(probe, TFile::TMode::CreateExclusive);
    if (!file.IsOpen()) return false;
    file.Close();
    std::remove(probe.c_str());
    return true;
}

TStoredSettings::TStoredSettings(const std::string& exe_path, const std::string& user_dir)
    : exe_dir_(ExtractFilePath(exe_path)), beside_exe_(JoinPath(exe_dir_, kStoredSettingsFile)) {
    std::string base = user_dir.empty() ? UserConfigDir() : user_dir;
    per_user_ = JoinPath(JoinPath(JoinPath(base, kAppConfigFolder), ExtractFileName(exe_path)),
                         kStoredSettingsFile);
}

std::string TStoredSettings::FolderIndexPath() const {
    return JoinPath(ExtractFilePath(per_user_), "folder-index.txt");
}

std::string TStoredSettings::ReadPath() const {
    std::error_code error;
    return std::filesystem::exists(per_user_, error) ? per_user_ : beside_exe_;
}

std::string TStoredSettings::WritePath() const {
    std::error_code error;
    if (std::filesystem::exists(per_user_, error)) return per_user_;
    return IsFolderWritable(exe_dir_.empty() ? "." : exe_dir_) ? beside_exe_ : per_user_;
}

bool TStoredSettings::ReadMute(bool fallback) const {
    // The conversion reads "0x" as a hexadecimal prefix itself.
    std::string text = ReadIniString(ReadPath(), kSettingsSection, kMuteKey, "");
    return StrToIntDef(text, fallback ? 1 : 0) != 0;
}

void TStoredSettings::WriteMute(bool muted) const {
    std::string path = WritePath();
    if (path == per_user_) {
        std::error_code error;
        std::filesystem::create_directories(ExtractFilePath(path), error);
    }
    if (!WriteIniString(path, kSettingsSection, kMuteKey, muted ? "1" : "0"))
        throw EError(msg::kUnableToWrite, {path});
}

std::optional<std::string> TStoredSettings::ReadFolder() const {
    std::string folder = ReadIniString(per_user_, kSettingsSection, kFolderKey, "");
    if (folder.empty()) return std::nullopt;
    return folder;
}

void TStoredSettings::WriteFolder(const std::string& folder) const {
    std::error_code error;
    const bool moving = !std::filesystem::exists(per_user_, error);
    // The per-user file is read in preference from now on: the mute choice
    // goes with the folder.
    const std::string mute = ReadIniString(ReadPath(), kSettingsSection, kMuteKey, "");
    std::filesystem::create_directories(ExtractFilePath(per_user_), error);
    if (!WriteIniString(per_user_, kSettingsSection, kFolderKey, folder) ||
        (moving && !mute.empty() && !WriteIniString(per_user_, kSettingsSection, kMuteKey, mute)))
        throw EError(msg::kUnableToWrite, {per_user_});
}

} // namespace tevrin
