// SPDX-License-Identifier: MIT
#include "show/FolderContent.h"

#include "base/Errors.h"
#include "base/Paths.h"
#include "base/System.h"
#include "gfx/PictureFile.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace tevrin {

namespace fs = std::filesystem;

namespace {

bool NameChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_';
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

std::vector<std::string> FindFolderPictures(const std::vector<std::string>& folders,
                                            bool recursive) {
    std::vector<std::string> found;
    const auto options = fs::directory_options::skip_permission_denied;
    for (const std::string& folder : folders) {
        std::error_code error;
        const fs::path root = PathOf(folder);
        if (!fs::is_directory(root, error)) continue;
        auto take = [&](const fs::directory_entry& entry) {
            std::error_code e;
            if (entry.is_regular_file(e) && HasPictureExtension(Utf8Of(entry.path().filename())))
                found.push_back(Utf8Of(entry.path()));
        };
        // A folder that cannot be read further gives what was found so far.
        if (recursive) {
            for (fs::recursive_directory_iterator it(root, options, error), end;
                 !error && it != end; it.increment(error))
                take(*it);
        } else {
            for (fs::directory_iterator it(root, options, error), end; !error && it != end;
                 it.increment(error))
                take(*it);
        }
    }
    std::sort(found.begin(), found.end());
    found.erase(std::unique(found.begin(), found.end()), found.end());
    return found;
}

TFolderContent::TFolderContent(const TShowContent* stored, const TSSFileLocations& record)
    : stored_(stored), recursive_(record.lRecursive) {
    for (const std::string& folder : record.PictureFolders)
        folders_.push_back(ExpandFolderPath(folder));
    Rescan();
}

void TFolderContent::Rescan() {
    std::vector<std::string> files = FindFolderPictures(folders_, recursive_);
    const std::lock_guard lock(mutex_);
    files_ = std::move(files);
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

TShowPicture TFolderContent::Picture(int i) const {
    if (i >= 0 && i < StoredCount()) return stored_->Picture(i);
    const std::string file = FileOf(i);
    std::error_code error;
    if (!fs::is_regular_file(PathOf(file), error)) throw EError(msg::kNoSuchFile, {file});
    try {
        return ReadShowPicture(ReadFileBytes(file));
    } catch (const EError& e) {
        throw EError(msg::kPictureUnreadable, {file, e.what()});
    }
}

std::optional<std::string> TFolderContent::Caption(int i) const {
    if (i >= 0 && i < StoredCount()) return stored_->Caption(i);
    return std::nullopt;
}

std::optional<int> TFolderContent::IntervalMs(int i) const {
    if (i >= 0 && i < StoredCount()) return stored_->IntervalMs(i);
    return std::nullopt;
}

} // namespace tevrin
