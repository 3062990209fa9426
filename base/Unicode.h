// SPDX-License-Identifier: MIT
// Text encodings. Every text the program holds in memory is UTF-8; these
// turn the encodings that files and systems use into it and back.
//
// Malformed input never fails: an invalid UTF-8 byte, a lone surrogate or a
// truncated sequence becomes U+FFFD, so a hostile payload cannot make a text
// that later stages choke on.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tevrin {

inline constexpr char32_t kReplacementChar = 0xFFFD;

// The next code point of `text` at `at`, which moves past it. An invalid
// sequence yields U+FFFD and moves one byte. `at` must be below the size.
char32_t NextCodePoint(std::string_view text, std::size_t& at);

void AppendUtf8(std::string& out, char32_t code_point);

bool IsAscii(std::string_view text);
bool IsValidUtf8(std::string_view text);
// `text` with every invalid sequence replaced by U+FFFD.
std::string ValidUtf8(std::string_view text);

// Windows-1252 with its whole upper half: 0x80 to 0x9F are the typographic
// characters (€, ‚, “ ...), not C1 controls; its five unassigned bytes map to
// the C1 code points of the same value, as the system's own conversion does.
std::string Cp1252ToUtf8(std::string_view text);

// UTF-16 in little-endian byte order, as wide strings are stored.
std::string Utf16LeToUtf8(std::string_view bytes);
std::string Utf8ToUtf16Le(std::string_view text);

std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);

} // namespace tevrin
