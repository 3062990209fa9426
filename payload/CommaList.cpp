// SPDX-License-Identifier: MIT
#include "payload/CommaList.h"

namespace tevrin {
namespace {

bool IsBlank(char c) {
    auto u = static_cast<unsigned char>(c);
    return u >= 1 && u <= 32;
}

bool NeedsQuotes(std::string_view entry) {
    for (char c : entry)
        if (static_cast<unsigned char>(c) <= 32 || c == '"' || c == ',') return true;
    return false;
}

} // namespace

std::vector<std::string> CommaTextToEntries(std::string_view text) {
    // The text ends at a NUL character, as a C string does.
    text = text.substr(0, text.find('\0'));
    std::vector<std::string> entries;
    std::size_t i = 0;
    auto skip_blanks = [&] {
        while (i < text.size() && IsBlank(text[i]))
            ++i;
    };
    skip_blanks();
    while (i < text.size()) {
        std::string entry;
        if (text[i] == '"') {
            ++i;
            while (i < text.size()) {
                if (text[i] == '"') {
                    if (i + 1 < text.size() && text[i + 1] == '"') {
                        entry.push_back('"');
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                entry.push_back(text[i++]);
            }
        } else {
            while (i < text.size() && static_cast<unsigned char>(text[i]) > 32 && text[i] != ',')
                entry.push_back(text[i++]);
        }
        entries.push_back(std::move(entry));
        skip_blanks();
        if (i < text.size() && text[i] == ',') {
            if (i + 1 == text.size()) entries.emplace_back();
            ++i;
            skip_blanks();
        }
    }
    return entries;
}

std::string EntriesToCommaText(const std::vector<std::string>& entries) {
    if (entries.size() == 1 && entries[0].empty()) return "\"\"";
    std::string text;
    for (std::size_t n = 0; n < entries.size(); ++n) {
        if (n > 0) text.push_back(',');
        const std::string& entry = entries[n];
        if (!NeedsQuotes(entry)) {
            text += entry;
            continue;
        }
        text.push_back('"');
        for (char c : entry) {
            if (c == '"') text.push_back('"');
            text.push_back(c);
        }
        text.push_back('"');
    }
    return text;
}

} // namespace tevrin
