// SPDX-License-Identifier: MIT
#include "gfx/DecodeBudget.h"

#include "base/Errors.h"

#include <condition_variable>
#include <mutex>
#include <string>

namespace tevrin {
namespace {

std::mutex budget_lock;
std::condition_variable budget_returned;
std::uint64_t budget_in_use = 0;

std::string SizeText(int width, int height) {
    return std::to_string(width) + "x" + std::to_string(height);
}

} // namespace

bool TakeDecodeBudget(std::uint64_t bytes) {
    if (bytes > kDecodeBudgetBytes) return false;
    std::unique_lock lock(budget_lock);
    budget_returned.wait(lock, [&] { return budget_in_use + bytes <= kDecodeBudgetBytes; });
    budget_in_use += bytes;
    return true;
}

void ReturnDecodeBudget(std::uint64_t bytes) {
    {
        std::lock_guard lock(budget_lock);
        budget_in_use -= bytes;
    }
    budget_returned.notify_all();
}

std::uint64_t DecodeBudgetInUse() {
    std::lock_guard lock(budget_lock);
    return budget_in_use;
}

TDecodeReservation::TDecodeReservation(std::uint64_t bytes, std::string_view format, int width,
                                       int height)
    : bytes_(bytes) {
    if (!TakeDecodeBudget(bytes))
        throw EError(msg::kImageTooLarge, {format, SizeText(width, height)});
}

TDecodeReservation::~TDecodeReservation() {
    ReturnDecodeBudget(bytes_);
}

void CheckDataCoversPixels(std::uint64_t data_bytes, std::string_view format, int width,
                           int height) {
    constexpr std::uint64_t kFreePixels = 16'000'000, kPixelsPerByte = 2048;
    const std::uint64_t pixels =
        static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height);
    if (pixels > kFreePixels && data_bytes < pixels / kPixelsPerByte)
        throw EError(msg::kImageEndsEarly, {format, SizeText(width, height)});
}

} // namespace tevrin
