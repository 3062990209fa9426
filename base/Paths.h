// SPDX-License-Identifier: MIT
// Path helpers shared by the payload and the stored settings.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace tevrin {

// dir + name with exactly one delimiter between them when dir lacks one.
std::string JoinPath(const std::string& dir, const std::string& name);

// Our paths are UTF-8 text on every system, while std::filesystem takes a
// narrow string in the system's code page on Windows: paths cross over
// through these two.
std::filesystem::path PathOf(const std::string& utf8);
std::string Utf8Of(const std::filesystem::path& path);

// The path up to and including its last delimiter (a drive colon counts on
// Windows); empty when there is none.
std::string ExtractFilePath(std::string_view path);
// What follows the last delimiter.
std::string ExtractFileName(std::string_view path);

} // namespace tevrin
