// SPDX-License-Identifier: MIT
#include "base/IniFile.h"

#include "base/System.h"
#include "base/Unicode.h"

#include <algorithm>
#include <cctype>
#include <string_view>
#include <vector>

namespace tevrin::ini {
namespace {

std::string_view Trim(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front())))
        s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back())))
        s.remove_suffix(1);
    return s;
}

bool SameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

struct TLine {
    std::string_view text;   // without its line ending
    std::string_view ending; // "\n", "\r\n" or empty on the last line
};

std::vector<TLine> SplitLines(std::string_view text) {
    std::vector<TLine> lines;
    while (!text.empty()) {
        std::size_t nl = text.find('\n');
        std::string_view line = text.substr(0, nl);
        std::string_view ending;
        if (nl == std::string_view::npos) {
            text = {};
        } else {
            ending = text.substr(nl, 1);
            text.remove_prefix(nl + 1);
        }
        // Only a carriage return before a line feed ends a line; one at the
        // very end stays in the line, whose blanks are trimmed anyway.
        if (!ending.empty() && !line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
            ending = std::string_view("\r\n");
        }
        lines.push_back({line, ending});
    }
    return lines;
}

// The name of the section a line opens, or nothing.
std::optional<std::string_view> SectionName(std::string_view line) {
    line = Trim(line);
    if (line.empty() || line.front() != '[') return std::nullopt;
    std::size_t close = line.find(']');
    if (close == std::string_view::npos) return Trim(line.substr(1));
    return Trim(line.substr(1, close - 1));
}

// Splits "key = value" lines; comment lines and lines without '=' are no entry.
bool SplitEntry(std::string_view line, std::string_view& key, std::string_view& value) {
    std::string_view t = Trim(line);
    if (t.empty() || t.front() == ';') return false;
    std::size_t eq = t.find('=');
    if (eq == std::string_view::npos) return false;
    key = Trim(t.substr(0, eq));
    value = Trim(t.substr(eq + 1));
    return true;
}

std::string AssignInLines(const std::string& text, const std::string& section,
                          const std::string& key, const std::string& value) {
    std::vector<TLine> lines = SplitLines(text);
    std::string eol = "\n";
    for (const TLine& line : lines)
        if (!line.ending.empty()) {
            eol = std::string(line.ending);
            break;
        }
    const std::string entry = key + "=" + value;

    // Find the section and, inside it, the key or the last entry line.
    std::ptrdiff_t section_line = -1, key_line = -1, last_in_section = -1;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (auto name = SectionName(lines[i].text)) {
            if (section_line >= 0) break;
            if (SameText(*name, section)) section_line = last_in_section = static_cast<long>(i);
            continue;
        }
        if (section_line < 0) continue;
        std::string_view k, v;
        if (SplitEntry(lines[i].text, k, v)) {
            last_in_section = static_cast<long>(i);
            if (SameText(k, key)) {
                key_line = static_cast<long>(i);
                break;
            }
        }
    }

    std::string out;
    auto emit = [&](std::string_view body, std::string_view ending) {
        out.append(body);
        out.append(ending);
    };
    if (section_line < 0) {
        out = text;
        if (!out.empty() && out.back() != '\n') out += eol;
        out += "[" + section + "]" + eol + entry + eol;
        return out;
    }
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const long index = static_cast<long>(i);
        if (index == key_line) {
            emit(entry, lines[i].ending.empty() ? std::string_view(eol) : lines[i].ending);
            continue;
        }
        emit(lines[i].text, lines[i].ending);
        if (key_line < 0 && index == last_in_section) {
            if (lines[i].ending.empty()) out += eol;
            out += entry + eol;
        }
    }
    return out;
}

} // namespace

bool HasUtf8Bom(std::string_view bytes) {
    return bytes.substr(0, kUtf8Bom.size()) == kUtf8Bom;
}

std::string DecodeText(std::string_view bytes) {
    if (HasUtf8Bom(bytes)) return ValidUtf8(bytes.substr(kUtf8Bom.size()));
    return AnsiToUtf8(bytes);
}

std::optional<std::string> Lookup(const std::string& text, const std::string& section,
                                  const std::string& key) {
    bool inside = false;
    for (const TLine& line : SplitLines(text)) {
        if (auto name = SectionName(line.text)) {
            inside = SameText(*name, section);
            continue;
        }
        std::string_view k, v;
        if (inside && SplitEntry(line.text, k, v) && SameText(k, key)) {
            if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
                v = v.substr(1, v.size() - 2);
            return std::string(v);
        }
    }
    return std::nullopt;
}

std::string Assign(const std::string& text, const std::string& section, const std::string& key,
                   const std::string& value) {
    // A byte order mark stays in front and is no part of the first line.
    const std::string_view bom = HasUtf8Bom(text) ? kUtf8Bom : std::string_view();
    return std::string(bom) + AssignInLines(text.substr(bom.size()), section, key, value);
}

} // namespace tevrin::ini

namespace tevrin {

std::string ReadIniString(const std::string& path, const std::string& section,
                          const std::string& key, const std::string& fallback) {
    const std::optional<std::string> bytes = ReadSmallFile(path, kMaxIniBytes);
    if (!bytes) return fallback;
    return ini::Lookup(ini::DecodeText(*bytes), section, key).value_or(fallback);
}

bool WriteIniString(const std::string& path, const std::string& section, const std::string& key,
                    const std::string& value) {
    // One byte more than is read tells a file too large to keep whole.
    const std::optional<std::string> bytes = ReadSmallFile(path, kMaxIniBytes + 1);
    if (bytes && bytes->size() > kMaxIniBytes) return false;
    return ReplaceFileContents(path,
                               ini::Assign(bytes.value_or(std::string()), section, key, value));
}

} // namespace tevrin
