// SPDX-License-Identifier: MIT
// The integer conversion of stored number texts: trailer fields, the entries
// of the record's offset and size lists, the stored mute value and window
// handles on the command line.
//
// Leading blanks are skipped; an optional "+" or "-" follows; "$", "x", "X",
// "0x" or "0X" make the digits hexadecimal. Everything after that must be
// digits of the base, at least one: a trailing blank does not convert. A
// value outside the signed 32-bit range does not convert either, so no such
// text can turn into an offset that is read as valid.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace tevrin {

bool TryStrToInt(std::string_view text, std::int32_t& value);

inline std::int32_t StrToIntDef(std::string_view text, std::int32_t fallback) {
    std::int32_t value;
    return TryStrToInt(text, value) ? value : fallback;
}

// The bytes as lowercase hexadecimal digits, two a byte.
std::string HexText(std::span<const std::uint8_t> bytes);

// Drops the characters with codes 1 to 32 (and NUL) at both ends.
std::string_view TrimControl(std::string_view text);

} // namespace tevrin
