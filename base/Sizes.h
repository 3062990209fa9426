// SPDX-License-Identifier: MIT
// Sizes as people write them on command lines and in manifests: "1920x1080".
#pragma once

#include <optional>
#include <string_view>

namespace tevrin {

struct TSize {
    int Width = 0, Height = 0;
    constexpr bool operator==(const TSize&) const = default;
};

// "WxH" (or "WXH") in decimal digits only, each side at least `min_side`
// and at most 65535; nothing for anything else.
std::optional<TSize> ParseSize(std::string_view text, int min_side = 1);

// Reads "WxH" from the front of `text`, leaving the rest in it.
std::optional<TSize> TakeSize(std::string_view& text, int min_side = 1);

} // namespace tevrin
