// SPDX-License-Identifier: MIT
#include "payload/TempFolder.h"

#include "base/Errors.h"
#include "base/Paths.h"
#include "base/System.h"

#include <cstdio>
#include <filesystem>
#include <optional>
#include <random>
#include <system_error>

namespace tevrin {

std::string SafeFileName(std::string_view stored_name) {
    std::size_t cut = stored_name.find_last_of("/\\:");
    std::string_view name =
        cut == std::string_view::npos ? stored_name : stored_name.substr(cut + 1);
    if (name.empty() || name == "." || name == "..") return {};
    return std::string(name);
}

namespace {

constexpr std::string_view kMarkerText = "tevrin run folder\n";

// The marker's text: its first line, then a random token (the folder's
// name alone is no proof; a marker made by chance is).
std::string MarkerText() {
    std::random_device random;
    char token[33];
    for (int i = 0; i < 32; i += 8)
        std::snprintf(token + i, 9, "%08x", static_cast<unsigned>(random()));
    return std::string(kMarkerText) + token + "\n";
}

bool HoldsMarker(const std::string& folder) {
    const std::optional<std::string> text =
        ReadSmallFile(JoinPath(folder, std::string(kRunMarkerFile)), 256);
    return text && text->size() == kMarkerText.size() + 33 && text->rfind(kMarkerText, 0) == 0 &&
           text->find_first_not_of("0123456789abcdef", kMarkerText.size()) == text->size() - 1;
}

std::string NewRunPath(const std::string& parent) {
    std::random_device random;
    return JoinPath(parent, std::string(kRunFolderPrefix) + std::to_string(CurrentProcessId()) +
                                "-" + std::to_string(random() % 1000000));
}

} // namespace

TTempFolder::TTempFolder(std::string parent)
    : parent_(parent.empty() ? GetTempDir() : parent), path_(NewRunPath(parent_)) {}

std::string TTempFolder::PathFor(std::string_view stored_name) const {
    std::string safe = SafeFileName(stored_name);
    if (safe.empty())
        throw EReadError(msg::kCannotCreateFile, {JoinPath(path_, std::string(stored_name))});
    return JoinPath(path_, safe);
}

void TTempFolder::Create() {
    if (created_) return;
    // A name that is taken already is never reused: the folder must be ours.
    for (int attempt = 0; !MakePrivateDirectory(path_); ++attempt) {
        if (attempt == 8) throw EReadError(msg::kCannotCreateFile, {path_});
        path_ = NewRunPath(parent_);
    }
    created_ = true;
    TFile marker(JoinPath(path_, std::string(kRunMarkerFile)), TFile::TMode::CreateExclusive);
    const std::string text = MarkerText();
    if (!marker.IsOpen() || !marker.Write(text.data(), text.size())) {
        marker.Close();
        Remove();
        throw EReadError(msg::kCannotCreateFile, {JoinPath(path_, std::string(kRunMarkerFile))});
    }
}

void TTempFolder::Remove() {
    if (!created_) return;
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
    created_ = false;
}

void TTempFolder::RemoveStale(const std::string& parent) {
    std::string dir = parent.empty() ? GetTempDir() : parent;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(dir, error)) {
        std::string name = entry.path().filename().string();
        if (name.rfind(kRunFolderPrefix, 0) != 0) continue;
        std::size_t dash = name.find('-', kRunFolderPrefix.size());
        if (dash == std::string::npos || dash == kRunFolderPrefix.size()) continue;
        std::string pid_text = name.substr(kRunFolderPrefix.size(), dash - kRunFolderPrefix.size());
        if (pid_text.find_first_not_of("0123456789") != std::string::npos || pid_text.size() > 9)
            continue;
        int pid = std::stoi(pid_text);
        std::string path = JoinPath(dir, name);
        if (pid == CurrentProcessId() || ProcessExists(pid) || !IsOwnPrivateDirectory(path) ||
            !HoldsMarker(path))
            continue;
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
}

} // namespace tevrin
