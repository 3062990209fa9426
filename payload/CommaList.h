// SPDX-License-Identifier: MIT
// The comma-list texts of the description record's list properties.
//
// Text to entries: blanks (codes 1 to 32) separate entries as commas do; a
// blank after a comma is no entry; two commas in a row enclose an empty
// entry; a leading comma gives an empty first entry and a trailing comma an
// empty last one. An entry starting with a double quote runs to the next
// double quote that is not doubled, and a doubled one inside stands for one;
// a quoted entry missing its closing quote takes the rest of the text. A
// NUL character ends the text.
//
// Entries to text: joined with single commas; an entry holding a blank,
// control character, double quote or comma is quoted with its double quotes
// doubled; a single empty entry is written as two double quotes.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tevrin {

std::vector<std::string> CommaTextToEntries(std::string_view text);
std::string EntriesToCommaText(const std::vector<std::string>& entries);

} // namespace tevrin
