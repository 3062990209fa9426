// SPDX-License-Identifier: MIT
// Captions made from a template: plain text with fields in braces, filled
// in for each picture. {date} is when the photo was taken, {title} its own
// title, {file} its file name without the extension, {n} its place in the
// show and {count} the number of pictures; "{{" and "}}" are braces.
#pragma once

#include "base/System.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tevrin {

// "12 August 2024".
inline constexpr std::string_view kDefaultDateFormat = "%-d %B %Y";

// A date as `format` says, with English names whatever the system's
// language: %Y (2024), %y (24), %m (08), %-m (8), %B (August), %b (Aug),
// %d (05), %-d (5), %A (Monday), %a (Mon), %H (09), %-H (9), %M, %S and %%.
// Raises EError naming a field it does not know.
std::string FormatDate(const TDateTime& date, std::string_view format);

// What one picture fills a template with.
struct TCaptionFields {
    std::optional<TDateTime> Date; // none: {date} is empty
    std::string Title;
    std::string File;
    int N = 0, Count = 0;
};

class TCaptionTemplate {
public:
    // Raises EError for an unknown field, a brace left open or a date
    // format field it does not know.
    explicit TCaptionTemplate(std::string_view text,
                              std::string_view date_format = kDefaultDateFormat);

    // The caption, runs of blanks made one and none left at either end (so
    // an empty field leaves no gap).
    std::string Resolve(const TCaptionFields& fields) const;
    // Whether it has a field that needs the picture's metadata ({date},
    // {title}).
    bool NeedsFacts() const { return needs_facts_; }
    bool NeedsTitle() const { return needs_title_; }

private:
    enum class TPart { Text, Date, Title, File, N, Count };
    std::vector<std::pair<TPart, std::string>> parts_;
    std::string date_format_;
    bool needs_facts_ = false;
    bool needs_title_ = false;
};

} // namespace tevrin
