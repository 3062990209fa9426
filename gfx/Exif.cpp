// SPDX-License-Identifier: MIT
#include "gfx/Exif.h"

#include <algorithm>

namespace tevrin {

int ExifOrientation(std::span<const std::uint8_t> app1) {
    constexpr std::uint8_t kSignature[6] = {'E', 'x', 'i', 'f', 0, 0};
    constexpr std::uint16_t kOrientationTag = 0x0112, kShortType = 3;
    if (app1.size() < sizeof kSignature) return kOrientationUpright;
    for (std::size_t i = 0; i < sizeof kSignature; ++i)
        if (app1[i] != kSignature[i]) return kOrientationUpright;
    // The TIFF structure: offsets count from its header.
    const std::span<const std::uint8_t> tiff = app1.subspan(sizeof kSignature);
    if (tiff.size() < 8) return kOrientationUpright;
    bool little;
    if (tiff[0] == 'I' && tiff[1] == 'I')
        little = true;
    else if (tiff[0] == 'M' && tiff[1] == 'M')
        little = false;
    else
        return kOrientationUpright;
    auto u16 = [&](std::size_t at) -> std::uint32_t {
        return little ? tiff[at] | tiff[at + 1] << 8 : tiff[at] << 8 | tiff[at + 1];
    };
    auto u32 = [&](std::size_t at) -> std::uint32_t {
        return little ? u16(at) | u16(at + 2) << 16 : u16(at) << 16 | u16(at + 2);
    };
    if (u16(2) != 42) return kOrientationUpright;
    const std::uint64_t ifd = u32(4);
    if (ifd + 2 > tiff.size()) return kOrientationUpright;
    const std::uint32_t entries = u16(static_cast<std::size_t>(ifd));
    for (std::uint32_t i = 0; i < entries; ++i) {
        const std::uint64_t entry = ifd + 2 + 12ull * i;
        if (entry + 12 > tiff.size()) return kOrientationUpright;
        const auto at = static_cast<std::size_t>(entry);
        if (u16(at) != kOrientationTag) continue;
        if (u16(at + 2) != kShortType || u32(at + 4) < 1) return kOrientationUpright;
        const std::uint32_t value = u16(at + 8); // a short sits at the start of the field
        return value >= 1 && value <= 8 ? static_cast<int>(value) : kOrientationUpright;
    }
    return kOrientationUpright;
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
