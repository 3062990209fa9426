// SPDX-License-Identifier: MIT
#include "show/CaptionTemplate.h"

#include "base/Errors.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace tevrin {
namespace {

constexpr std::array<const char*, 12> kMonths{"January",   "February", "March",    "April",
                                              "May",       "June",     "July",     "August",
                                              "September", "October",  "November", "December"};
constexpr std::array<const char*, 7> kWeekdays{"Sunday",   "Monday", "Tuesday", "Wednesday",
                                               "Thursday", "Friday", "Saturday"};

// 0 for Sunday, by the proleptic Gregorian calendar.
int Weekday(int year, int month, int day) {
    static constexpr int kOffsets[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
    if (month < 3) --year;
    return (year + year / 4 - year / 100 + year / 400 + kOffsets[(month - 1) % 12] + day) % 7;
}

std::string Padded(int value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "%0*d", digits, value);
    return text;
}

} // namespace

std::string FormatDate(const TDateTime& date, std::string_view format) {
    std::string out;
    const int month = std::clamp(date.Month, 1, 12) - 1;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%') {
            out += format[i];
            continue;
        }
        const bool bare = i + 1 < format.size() && format[i + 1] == '-';
        const std::size_t at = i + (bare ? 2 : 1);
        if (at >= format.size()) throw EError(msg::kDateFormatField, {format.substr(i)});
        const char field = format[at];
        auto number = [&](int value, int digits) {
            out += bare ? std::to_string(value) : Padded(value, digits);
        };
        switch (bare ? field | 0x100 : field) {
        case 'Y':
            out += std::to_string(date.Year);
            break;
        case 'y':
            out += Padded(date.Year % 100, 2);
            break;
        case 'm':
        case 'm' | 0x100:
            number(date.Month, 2);
            break;
        case 'd':
        case 'd' | 0x100:
            number(date.Day, 2);
            break;
        case 'H':
        case 'H' | 0x100:
            number(date.Hour, 2);
            break;
        case 'M':
            number(date.Minute, 2);
            break;
        case 'S':
            number(date.Second, 2);
            break;
        case 'B':
            out += kMonths[static_cast<std::size_t>(month)];
            break;
        case 'b':
            out += std::string(kMonths[static_cast<std::size_t>(month)], 3);
            break;
        case 'A':
            out += kWeekdays[static_cast<std::size_t>(Weekday(date.Year, date.Month, date.Day))];
            break;
        case 'a':
            out += std::string(
                kWeekdays[static_cast<std::size_t>(Weekday(date.Year, date.Month, date.Day))], 3);
            break;
        case '%':
            out += '%';
            break;
        default:
            throw EError(msg::kDateFormatField, {format.substr(i, at - i + 1)});
        }
        i = at;
    }
    return out;
}

TCaptionTemplate::TCaptionTemplate(std::string_view text, std::string_view date_format)
    : date_format_(date_format) {
    // Checked once here, so every picture's date formats without an error.
    FormatDate(TDateTime{2024, 8, 12, 9, 5, 0}, date_format_);
    std::string plain;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if ((c == '{' || c == '}') && i + 1 < text.size() && text[i + 1] == c) {
            plain += c;
            ++i;
            continue;
        }
        if (c == '}') throw EError(msg::kCaptionTemplateBrace, {text});
        if (c != '{') {
            plain += c;
            continue;
        }
        const std::size_t end = text.find('}', i);
        if (end == std::string_view::npos) throw EError(msg::kCaptionTemplateBrace, {text});
        const std::string_view name = text.substr(i + 1, end - i - 1);
        static constexpr std::pair<std::string_view, TPart> kFields[] = {{"date", TPart::Date},
                                                                         {"title", TPart::Title},
                                                                         {"file", TPart::File},
                                                                         {"n", TPart::N},
                                                                         {"count", TPart::Count}};
        const auto* field = std::find_if(std::begin(kFields), std::end(kFields),
                                         [&](const auto& f) { return f.first == name; });
        if (field == std::end(kFields))
            throw EError(msg::kCaptionTemplateField, {std::string(text.substr(i, end - i + 1))});
        if (!plain.empty()) parts_.emplace_back(TPart::Text, std::move(plain));
        plain.clear();
        parts_.emplace_back(field->second, std::string());
        needs_facts_ =
            needs_facts_ || field->second == TPart::Date || field->second == TPart::Title;
        needs_title_ = needs_title_ || field->second == TPart::Title;
        i = end;
    }
    if (!plain.empty()) parts_.emplace_back(TPart::Text, std::move(plain));
}

std::string TCaptionTemplate::Resolve(const TCaptionFields& fields) const {
    std::string out;
    for (const auto& [part, text] : parts_) {
        switch (part) {
        case TPart::Text:
            out += text;
            break;
        case TPart::Date:
            if (fields.Date) out += FormatDate(*fields.Date, date_format_);
            break;
        case TPart::Title:
            out += fields.Title;
            break;
        case TPart::File:
            out += fields.File;
            break;
        case TPart::N:
            out += std::to_string(fields.N);
            break;
        case TPart::Count:
            out += std::to_string(fields.Count);
            break;
        }
    }
    // An empty field leaves no double blank and no blank at either end.
    std::string tidy;
    for (char c : out)
        if (c != ' ' || (!tidy.empty() && tidy.back() != ' ')) tidy += c;
    while (!tidy.empty() && tidy.back() == ' ')
        tidy.pop_back();
    return tidy;
}

} // namespace tevrin
