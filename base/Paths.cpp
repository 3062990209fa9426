// SPDX-License-Identifier: MIT
#include "base/Paths.h"

#include "base/System.h"

namespace tevrin {

std::string JoinPath(const std::string& dir, const std::string& name) {
    if (!dir.empty() && dir.back() == kPathDelim) return dir + name;
    return dir + kPathDelim + name;
}

std::filesystem::path PathOf(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Utf8Of(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::string ExtractFilePath(std::string_view path) {
    std::size_t i = path.size();
    while (i > 0 && !IsPathDelim(path[i - 1]))
        --i;
    return std::string(path.substr(0, i));
}

std::string ExtractFileName(std::string_view path) {
    std::size_t i = path.size();
    while (i > 0 && !IsPathDelim(path[i - 1]))
        --i;
    return std::string(path.substr(i));
}

} // namespace tevrin
