// SPDX-License-Identifier: MIT
// The memory decoding pictures may take at once in this process. Every
// decoder reserves what a picture will take (its pixels and the library's
// own buffers, estimated from the picture's header) before anything is
// allocated: a picture whose decoding alone would take more than the budget
// is refused, and decodes on several threads wait for each other rather
// than together take more.
#pragma once

#include <cstdint>
#include <string_view>

namespace tevrin {

inline constexpr std::uint64_t kDecodeBudgetBytes = 768ull << 20;

// Takes `bytes` of the budget, waiting while other threads hold too much
// of it; false, with nothing taken, when `bytes` alone exceed the budget.
bool TakeDecodeBudget(std::uint64_t bytes);
void ReturnDecodeBudget(std::uint64_t bytes);
// What the budget has given out now.
std::uint64_t DecodeBudgetInUse();

// A share of the budget held while the object lives. Raises "%s image is
// too large (%s pixels)" for the format and size when `bytes` exceed the
// whole budget.
class TDecodeReservation {
public:
    TDecodeReservation(std::uint64_t bytes, std::string_view format, int width, int height);
    ~TDecodeReservation();
    TDecodeReservation(const TDecodeReservation&) = delete;
    TDecodeReservation& operator=(const TDecodeReservation&) = delete;

private:
    std::uint64_t bytes_;
};

// Compressed data far too short for the pixels it claims is refused before
// its picture is allocated, with "%s image data ends before the picture
// does (%s pixels)": a picture of more than 16 megapixels needs a byte of
// data for every 2048 pixels. (Real photographs take a byte for every few
// pixels; a few bytes claiming a hundred megapixels are a trap.)
void CheckDataCoversPixels(std::uint64_t data_bytes, std::string_view format, int width,
                           int height);

} // namespace tevrin
