// SPDX-License-Identifier: MIT
// Our own reader and writer of Windows-style initialisation files, for the
// systems that have no private-profile service and for files that service
// cannot read (UTF-8 ones). It behaves as that service does for what the
// program uses: case-insensitive section and key names, blanks around values
// dropped, one pair of matching quotes around a value dropped, the first of
// duplicate keys wins, and a write changes or adds one line and keeps every
// other line as it was.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tevrin::ini {

inline constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// Whether a file's bytes start with the UTF-8 byte order mark.
bool HasUtf8Bom(std::string_view bytes);
// A file's text as UTF-8: after a UTF-8 byte order mark (which is dropped)
// the bytes are UTF-8 already, otherwise they are in the ANSI code page.
std::string DecodeText(std::string_view bytes);

std::optional<std::string> Lookup(const std::string& text, const std::string& section,
                                  const std::string& key);

// Returns `text` with `key` in `section` set to `value`, adding the section at
// the end and the key at the end of its section when they are missing.
std::string Assign(const std::string& text, const std::string& section, const std::string& key,
                   const std::string& value);

} // namespace tevrin::ini
