// Our own reader and writer of Windows-style initialisation files, for the
// systems that have no private-profile service. It behaves as that service
// does for what the program uses: case-insensitive section and key names,
// blanks around values dropped, one pair of matching quotes around a value
// dropped, the first of duplicate keys wins, and a write changes or adds one
// line and keeps every other line as it was.
#pragma once

#include <optional>
#include <string>

namespace tevrin::ini {

std::optional<std::string> Lookup(const std::string& text, const std::string& section,
                                  const std::string& key);

// Returns `text` with `key` in `section` set to `value`, adding the section at
// the end and the key at the end of its section when they are missing.
std::string Assign(const std::string& text, const std::string& section, const std::string& key,
                   const std::string& value);

} // namespace tevrin::ini
