// SPDX-License-Identifier: MIT
#include "gfx/Exif.h"

#include <algorithm>
#include <iterator>

namespace tevrin {

namespace {

// The TIFF structure of an Exif block, read with every offset checked.
class TTiff {
public:
    explicit TTiff(std::span<const std::uint8_t> app1) {
        constexpr std::uint8_t kSignature[6] = {'E', 'x', 'i', 'f', 0, 0};
        if (app1.size() < sizeof kSignature + 8 ||
            !std::equal(std::begin(kSignature), std::end(kSignature), app1.begin()))
            return;
        // Offsets count from the TIFF header.
        tiff_ = app1.subspan(sizeof kSignature);
        if (tiff_[0] == 'I' && tiff_[1] == 'I')
            little_ = true;
        else if (tiff_[0] != 'M' || tiff_[1] != 'M')
            tiff_ = {};
        if (!tiff_.empty() && U16(2) != 42) tiff_ = {};
    }

    bool Valid() const { return !tiff_.empty(); }
    std::uint64_t FirstDirectory() const { return U32(4); }
    // The entry of `tag` in the directory at `ifd`; nothing when it has
    // none or is cut short before it.
    std::optional<std::size_t> Find(std::uint64_t ifd, std::uint16_t tag) const {
        if (ifd + 2 > tiff_.size()) return std::nullopt;
        const std::uint32_t entries = U16(static_cast<std::size_t>(ifd));
        for (std::uint32_t i = 0; i < entries; ++i) {
            const std::uint64_t entry = ifd + 2 + 12ull * i;
            if (entry + 12 > tiff_.size()) return std::nullopt;
            if (U16(static_cast<std::size_t>(entry)) == tag) return static_cast<std::size_t>(entry);
        }
        return std::nullopt;
    }
    // An ASCII entry's text up to its first NUL; empty for another type or
    // a value outside the block.
    std::string Ascii(std::size_t entry) const {
        constexpr std::uint32_t kAsciiType = 2;
        if (U16(entry + 2) != kAsciiType) return {};
        const std::uint64_t count = U32(entry + 4);
        const std::uint64_t at = count <= 4 ? entry + 8 : U32(entry + 8);
        if (at + count > tiff_.size()) return {};
        const auto* first = reinterpret_cast<const char*>(tiff_.data() + at);
        std::string text(first, static_cast<std::size_t>(count));
        text.resize(std::min(text.size(), text.find('\0')));
        return text;
    }
    std::uint32_t U16(std::size_t at) const {
        return little_ ? tiff_[at] | tiff_[at + 1] << 8 : tiff_[at] << 8 | tiff_[at + 1];
    }
    std::uint32_t U32(std::size_t at) const {
        return little_ ? U16(at) | U16(at + 2) << 16 : U16(at) << 16 | U16(at + 2);
    }

private:
    std::span<const std::uint8_t> tiff_;
    bool little_ = false;
};

std::string Trimmed(std::string text) {
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

} // namespace

int ExifOrientation(std::span<const std::uint8_t> app1) {
    constexpr std::uint16_t kOrientationTag = 0x0112, kShortType = 3;
    const TTiff tiff(app1);
    if (!tiff.Valid()) return kOrientationUpright;
    const std::optional<std::size_t> at = tiff.Find(tiff.FirstDirectory(), kOrientationTag);
    if (!at || tiff.U16(*at + 2) != kShortType || tiff.U32(*at + 4) < 1) return kOrientationUpright;
    const std::uint32_t value = tiff.U16(*at + 8); // a short sits at the start of the field
    return value >= 1 && value <= 8 ? static_cast<int>(value) : kOrientationUpright;
}

TExifText ReadExifText(std::span<const std::uint8_t> app1) {
    constexpr std::uint16_t kDescriptionTag = 0x010E, kExifDirectoryTag = 0x8769, kLongType = 4,
                            kTakenTag = 0x9003, kDigitizedTag = 0x9004;
    TExifText text;
    const TTiff tiff(app1);
    if (!tiff.Valid()) return text;
    const std::uint64_t first = tiff.FirstDirectory();
    if (const auto at = tiff.Find(first, kDescriptionTag))
        text.Description = Trimmed(tiff.Ascii(*at));
    const auto exif = tiff.Find(first, kExifDirectoryTag);
    if (!exif || tiff.U16(*exif + 2) != kLongType) return text;
    const std::uint64_t directory = tiff.U32(*exif + 8);
    for (std::uint16_t tag : {kTakenTag, kDigitizedTag}) {
        if (const auto at = tiff.Find(directory, tag)) text.Taken = Trimmed(tiff.Ascii(*at));
        if (!text.Taken.empty()) break;
    }
    return text;
}

std::optional<TDateTime> ParseExifDate(std::string_view text) {
    // "YYYY:MM:DD HH:MM:SS": digits where digits belong.
    if (text.size() < 19) return std::nullopt;
    auto number = [&](std::size_t at, std::size_t digits) -> std::optional<int> {
        int value = 0;
        for (std::size_t i = at; i < at + digits; ++i) {
            if (text[i] < '0' || text[i] > '9') return std::nullopt;
            value = value * 10 + (text[i] - '0');
        }
        return value;
    };
    const bool separated = (text[4] == ':' || text[4] == '-') && text[7] == text[4] &&
                           (text[10] == ' ' || text[10] == 'T') && text[13] == ':' &&
                           text[16] == ':';
    const auto year = number(0, 4), month = number(5, 2), day = number(8, 2), hour = number(11, 2),
               minute = number(14, 2), second = number(17, 2);
    if (!separated || !year || !month || !day || !hour || !minute || !second) return std::nullopt;
    if (*year < 1 || *month < 1 || *month > 12 || *day < 1 || *day > 31 || *hour > 23 ||
        *minute > 59 || *second > 60)
        return std::nullopt;
    return TDateTime{*year, *month, *day, *hour, *minute, *second};
}

std::span<const std::uint8_t> JpegExifBlock(std::span<const std::uint8_t> jpeg) {
    constexpr std::uint8_t kApp1 = 0xE1, kStartOfScan = 0xDA;
    if (jpeg.size() < 4 || jpeg[0] != 0xFF || jpeg[1] != 0xD8) return {};
    std::size_t at = 2;
    while (at + 4 <= jpeg.size() && jpeg[at] == 0xFF) {
        const std::uint8_t marker = jpeg[at + 1];
        if (marker == 0xFF) { // fill byte
            ++at;
            continue;
        }
        if (marker == kStartOfScan || (marker >= 0xD0 && marker <= 0xD9)) return {};
        const std::size_t length = jpeg[at + 2] << 8 | jpeg[at + 3];
        if (length < 2 || at + 2 + length > jpeg.size()) return {};
        const std::span<const std::uint8_t> payload = jpeg.subspan(at + 4, length - 2);
        if (marker == kApp1 && payload.size() >= 6 && payload[0] == 'E' && payload[1] == 'x' &&
            payload[2] == 'i' && payload[3] == 'f' && payload[4] == 0 && payload[5] == 0)
            return payload;
        at += 2 + length;
    }
    return {};
}

std::vector<std::uint8_t> WithExifOrientation(std::span<const std::uint8_t> jpeg, int orientation,
                                              bool big_endian) {
    std::vector<std::uint8_t> tiff;
    auto put16 = [&](std::uint32_t v) {
        if (big_endian)
            tiff.insert(tiff.end(), {std::uint8_t(v >> 8), std::uint8_t(v)});
        else
            tiff.insert(tiff.end(), {std::uint8_t(v), std::uint8_t(v >> 8)});
    };
    auto put32 = [&](std::uint32_t v) {
        if (big_endian)
            put16(v >> 16), put16(v & 0xFFFF);
        else
            put16(v & 0xFFFF), put16(v >> 16);
    };
    const std::uint8_t order = big_endian ? 'M' : 'I';
    tiff.insert(tiff.end(), {order, order});
    put16(42);
    put32(8); // the first directory follows the header
    put16(1); // one entry: the orientation, a short
    put16(0x0112);
    put16(3);
    put32(1);
    put16(static_cast<std::uint32_t>(orientation));
    put16(0);
    put32(0); // no further directory
    const std::size_t length = 2 + 6 + tiff.size();
    std::vector<std::uint8_t> out;
    out.reserve(jpeg.size() + length + 2);
    out.insert(out.end(), jpeg.begin(), jpeg.begin() + std::min<std::size_t>(2, jpeg.size()));
    out.insert(out.end(), {0xFF, 0xE1, std::uint8_t(length >> 8), std::uint8_t(length), 'E', 'x',
                           'i', 'f', 0, 0});
    out.insert(out.end(), tiff.begin(), tiff.end());
    if (jpeg.size() > 2) out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
    return out;
}

} // namespace tevrin
