// SPDX-License-Identifier: MIT
#include "app/CommandLine.h"

#include "base/IntConv.h"
#include "base/Paths.h"

namespace tevrin {

std::string UpperAscii(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

TCommandLine ParseCommandLine(const std::vector<std::string>& args) {
    TCommandLine line;
    if (!args.empty()) line.First = UpperAscii(args[0]);
    if (args.size() > 1) line.Second = UpperAscii(args[1]);
    // Only the first two characters count: a switch, then its letter, or
    // the letter alone.
    auto is = [&](char letter) {
        const std::string& a = line.First;
        return (a.size() >= 2 && (a[0] == '/' || a[0] == '-') && a[1] == letter) ||
               (!a.empty() && a[0] == letter);
    };
    if (is('A')) line.Mode = smChangePassword;
    if (is('P')) line.Mode = smPreview;
    if (is('C') || line.First.empty()) line.Mode = smSettings;
    return line;
}

std::optional<TWindowId> ParseWindowHandle(std::string_view text) {
    std::int32_t value;
    if (!TryStrToInt(text, value)) return std::nullopt;
    return static_cast<TWindowId>(value);
}

std::string InstanceGuardName(std::string_view own_path) {
    // Both delimiters count, whichever system the path comes from.
    std::size_t cut = own_path.find_last_of("\\:/");
    std::string_view name = cut == std::string_view::npos ? own_path : own_path.substr(cut + 1);
    return std::string(name) + "Semaphore";
}

} // namespace tevrin
