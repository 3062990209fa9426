// SPDX-License-Identifier: MIT
#include "gfx/Bitmap24.h"

#include "base/System.h"

#include <atomic>
#include <cstring>
#include <new>
#include <stdexcept>

namespace tevrin {
namespace {

std::atomic<std::size_t> g_live{0}, g_peak{0};

void Count(std::size_t added) {
    const std::size_t now = g_live.fetch_add(added, std::memory_order_relaxed) + added;
    std::size_t peak = g_peak.load(std::memory_order_relaxed);
    while (now > peak && !g_peak.compare_exchange_weak(peak, now, std::memory_order_relaxed)) {
    }
}

void Uncount(std::size_t removed) {
    g_live.fetch_sub(removed, std::memory_order_relaxed);
}

// Pictures of a few megabytes and more.
constexpr std::size_t kLargePagesFrom = 4u << 20;

std::uint8_t* Allocate(std::size_t size, bool cleared) {
    void* bytes = cleared ? std::calloc(size, 1) : std::malloc(size);
    if (bytes == nullptr) throw std::bad_alloc();
    if (size >= kLargePagesFrom) PreferLargePages(bytes, size);
    return static_cast<std::uint8_t*>(bytes);
}

} // namespace

TBitmap24::TStore::TStore(std::size_t size, bool cleared)
    : bytes_(Allocate(size, cleared)), size_(size) {
    Count(size);
}

TBitmap24::TStore::TStore(const TStore& other)
    : bytes_(other.size_ ? Allocate(other.size_, false) : nullptr), size_(other.size_) {
    if (size_) std::memcpy(bytes_.get(), other.bytes_.get(), size_);
    Count(size_);
}

TBitmap24::TStore& TBitmap24::TStore::operator=(const TStore& other) {
    if (this != &other) *this = TStore(other);
    return *this;
}

TBitmap24::TStore& TBitmap24::TStore::operator=(TStore&& other) noexcept {
    if (this != &other) {
        Uncount(size_);
        bytes_ = std::move(other.bytes_);
        size_ = other.size_;
        other.size_ = 0;
    }
    return *this;
}

TBitmap24::TStore::~TStore() {
    Uncount(size_);
}

TBitmap24::TBitmap24(int width, int height) {
    Make(width, height, 3, true);
}

TBitmap24::TBitmap24(int width, int height, TUndefined) {
    Make(width, height, 3, false);
}

TBitmap24::TBitmap24(int width, int height, TPixels32) {
    Make(width, height, 4, true);
}

TBitmap24::TBitmap24(int width, int height, TPixels32, TUndefined) {
    Make(width, height, 4, false);
}

TBitmap24 TBitmap24::Undefined(int width, int height, int pixel_bytes) {
    return pixel_bytes == 4 ? TBitmap24(width, height, kPixels32, kUndefined)
                            : TBitmap24(width, height, kUndefined);
}

void TBitmap24::Make(int width, int height, int pixel_bytes, bool cleared) {
    if (width < 0 || height < 0) throw std::invalid_argument("negative bitmap size");
    width_ = width;
    height_ = height;
    pixel_bytes_ = pixel_bytes;
    stride_ = pixel_bytes == 4 ? width * 4 : StrideFor(width);
    data_ = TStore(static_cast<std::size_t>(stride_) * height + kSlack, cleared);
    if (cleared) return;
    // Padding and slack are never drawn, but copied and compared with the
    // pixels: they stay defined.
    const std::size_t pixels = static_cast<std::size_t>(width) * pixel_bytes;
    if (pixels < static_cast<std::size_t>(stride_))
        for (int y = 0; y < height; ++y)
            std::memset(Row(y) + pixels, 0, static_cast<std::size_t>(stride_) - pixels);
    std::memset(Bits() + static_cast<std::size_t>(stride_) * height, 0, kSlack);
}

TBitmap24 TBitmap24::View32(std::uint8_t* bits, int width, int height, int stride) {
    TBitmap24 view;
    view.width_ = width;
    view.height_ = height;
    view.stride_ = stride;
    view.pixel_bytes_ = 4;
    view.view_ = bits;
    return view;
}

TBitmap24::TBitmap24(const TBitmap24& other)
    : width_(other.width_), height_(other.height_), stride_(other.stride_),
      pixel_bytes_(other.pixel_bytes_) {
    if (other.view_ == nullptr) {
        data_ = other.data_;
        return;
    }
    data_ = TStore(other.ByteSize() + kSlack, true);
    std::memcpy(data_.data(), other.view_, other.ByteSize());
}

TBitmap24::TBitmap24(TBitmap24&& other) noexcept
    : width_(other.width_), height_(other.height_), stride_(other.stride_),
      pixel_bytes_(other.pixel_bytes_), data_(std::move(other.data_)), view_(other.view_) {
    other.width_ = other.height_ = other.stride_ = 0;
    other.view_ = nullptr;
}

TBitmap24& TBitmap24::operator=(const TBitmap24& other) {
    if (this != &other) *this = TBitmap24(other);
    return *this;
}

TBitmap24& TBitmap24::operator=(TBitmap24&& other) noexcept {
    if (this == &other) return *this;
    width_ = other.width_;
    height_ = other.height_;
    stride_ = other.stride_;
    pixel_bytes_ = other.pixel_bytes_;
    data_ = std::move(other.data_);
    view_ = other.view_;
    other.width_ = other.height_ = other.stride_ = 0;
    other.view_ = nullptr;
    return *this;
}

std::size_t TBitmap24::LiveBytes() {
    return g_live.load(std::memory_order_relaxed);
}
std::size_t TBitmap24::PeakBytes() {
    return g_peak.load(std::memory_order_relaxed);
}
void TBitmap24::ResetPeak() {
    g_peak.store(g_live.load(std::memory_order_relaxed), std::memory_order_relaxed);
}

} // namespace tevrin
