// SPDX-License-Identifier: MIT
#include "base/Unicode.h"

namespace tevrin {
namespace {

constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, // 80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, // 88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178, // 98
};

bool IsSurrogate(char32_t c) {
    return c >= 0xD800 && c <= 0xDFFF;
}

template <typename TUnitAt> std::string Utf16UnitsToUtf8(std::size_t count, TUnitAt unit_at) {
    std::string out;
    out.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        char32_t unit = unit_at(i);
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < count) {
            char32_t low = unit_at(i + 1);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                ++i;
                continue;
            }
        }
        AppendUtf8(out, IsSurrogate(unit) ? kReplacementChar : unit);
    }
    return out;
}

template <typename TEmit> void ForEachUtf16Unit(std::string_view text, TEmit emit) {
    for (std::size_t at = 0; at < text.size();) {
        char32_t c = NextCodePoint(text, at);
        if (c >= 0x10000) {
            c -= 0x10000;
            emit(static_cast<char16_t>(0xD800 + (c >> 10)));
            emit(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
        } else {
            emit(static_cast<char16_t>(c));
        }
    }
}

} // namespace

char32_t NextCodePoint(std::string_view text, std::size_t& at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    if (lead < 0x80) {
        ++at;
        return lead;
    }
    int extra;
    char32_t c, least;
    if (lead >= 0xC2 && lead <= 0xDF) {
        extra = 1, c = lead & 0x1F, least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        extra = 2, c = lead & 0x0F, least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        extra = 3, c = lead & 0x07, least = 0x10000;
    } else {
        ++at;
        return kReplacementChar;
    }
    if (text.size() - at <= static_cast<std::size_t>(extra)) {
        ++at;
        return kReplacementChar;
    }
    for (int k = 1; k <= extra; ++k) {
        const unsigned char next = byte(at + k);
        if ((next & 0xC0) != 0x80) {
            ++at;
            return kReplacementChar;
        }
        c = (c << 6) | (next & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
    if (c < least || IsSurrogate(c) || c > 0x10FFFF) {
        ++at;
        return kReplacementChar;
    }
    at += extra + 1;
    return c;
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c > 0x10FFFF || IsSurrogate(c)) c = kReplacementChar;
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

bool IsAscii(std::string_view text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

bool IsValidUtf8(std::string_view text) {
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t start = at;
        if (NextCodePoint(text, at) == kReplacementChar && at - start != 3) return false;
    }
    return true;
}

std::string ValidUtf8(std::string_view text) {
    if (IsValidUtf8(text)) return std::string(text);
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();)
        AppendUtf8(out, NextCodePoint(text, at));
    return out;
}

std::string Cp1252ToUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char ch : text) {
        const unsigned char b = static_cast<unsigned char>(ch);
        AppendUtf8(out, b >= 0x80 && b < 0xA0 ? kCp1252High[b - 0x80] : b);
    }
    return out;
}

std::string Utf16LeToUtf8(std::string_view bytes) {
    return Utf16UnitsToUtf8(bytes.size() / 2, [&](std::size_t i) {
        return static_cast<char32_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                     (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
    });
}

std::string Utf8ToUtf16Le(std::string_view text) {
    std::string out;
    out.reserve(text.size() * 2);
    ForEachUtf16Unit(text, [&](char16_t unit) {
        out.push_back(static_cast<char>(unit & 0xFF));
        out.push_back(static_cast<char>(unit >> 8));
    });
    return out;
}

std::u16string Utf8ToUtf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    ForEachUtf16Unit(text, [&](char16_t unit) { out.push_back(unit); });
    return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
    return Utf16UnitsToUtf8(text.size(),
                            [&](std::size_t i) { return static_cast<char32_t>(text[i]); });
}

} // namespace tevrin
