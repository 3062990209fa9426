// SPDX-License-Identifier: MIT
#include "base/Sizes.h"

#include <charconv>

namespace tevrin {
namespace {

constexpr int kMaxSide = 65535;

// Leading decimal digits of `text` as a side length, taken off the front.
std::optional<int> TakeSide(std::string_view& text) {
    int value = 0;
    const char* end = text.data() + text.size();
    if (text.empty() || text.front() < '0' || text.front() > '9') return std::nullopt;
    const auto [next, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || value > kMaxSide) return std::nullopt;
    text.remove_prefix(static_cast<std::size_t>(next - text.data()));
    return value;
}

} // namespace

std::optional<TSize> TakeSize(std::string_view& text, int min_side) {
    std::string_view rest = text;
    const std::optional<int> w = TakeSide(rest);
    if (!w || rest.empty() || (rest.front() != 'x' && rest.front() != 'X')) return std::nullopt;
    rest.remove_prefix(1);
    const std::optional<int> h = TakeSide(rest);
    if (!h || *w < min_side || *h < min_side) return std::nullopt;
    text = rest;
    return TSize{*w, *h};
}

std::optional<TSize> ParseSize(std::string_view text, int min_side) {
    const std::optional<TSize> size = TakeSize(text, min_side);
    if (!size || !text.empty()) return std::nullopt;
    return size;
}

} // namespace tevrin
