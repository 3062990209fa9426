// SPDX-License-Identifier: MIT
// An owning 24-bit bitmap laid out as a top-down device-independent bitmap:
// 3 bytes per pixel in B, G, R order, each row padded to a multiple of 4 bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace tevrin {

// Pictures whose decoded pixels would take more than this are refused before
// anything is allocated.
inline constexpr std::uint64_t kMaxPictureBytes = 512ull << 20;

class TBitmap24 {
public:
    TBitmap24() = default;
    // Black.
    TBitmap24(int width, int height);
    // For a caller that writes every pixel itself: the pixels start
    // undefined (row padding and slack are zero), which spares clearing
    // memory that is written at once.
    enum TUndefined { kUndefined };
    TBitmap24(int width, int height, TUndefined);

    int Width() const { return width_; }
    int Height() const { return height_; }
    int Stride() const { return stride_; }
    bool Empty() const { return width_ == 0 || height_ == 0; }

    std::uint8_t* Row(int y) { return data_.data() + static_cast<std::size_t>(y) * stride_; }
    const std::uint8_t* Row(int y) const {
        return data_.data() + static_cast<std::size_t>(y) * stride_;
    }
    std::uint8_t* Bits() { return data_.data(); }
    const std::uint8_t* Bits() const { return data_.data(); }
    // The pixel rows, padding included; the buffer holds kSlack bytes more,
    // so a load of up to 8 bytes from any pixel stays inside it.
    std::size_t ByteSize() const { return data_.empty() ? 0 : data_.size() - kSlack; }
    static constexpr std::size_t kSlack = 8;

    // Bytes one row occupies for a given width, padding included.
    static int StrideFor(int width) { return (width * 3 + 3) & ~3; }

    // The bytes all bitmaps of the process hold now, and the most they held
    // at once since the last ResetPeak: what pictures cost in memory.
    static std::size_t LiveBytes();
    static std::size_t PeakBytes();
    static void ResetPeak();

private:
    // The pixel buffer, counted in LiveBytes while it exists.
    class TStore {
    public:
        TStore() = default;
        TStore(std::size_t size, bool cleared);
        TStore(const TStore& other);
        TStore(TStore&& other) noexcept : bytes_(std::move(other.bytes_)), size_(other.size_) {
            other.size_ = 0;
        }
        TStore& operator=(const TStore& other);
        TStore& operator=(TStore&& other) noexcept;
        ~TStore();

        std::uint8_t* data() { return bytes_.get(); }
        const std::uint8_t* data() const { return bytes_.get(); }
        std::size_t size() const { return size_; }
        bool empty() const { return size_ == 0; }

    private:
        std::unique_ptr<std::uint8_t[]> bytes_;
        std::size_t size_ = 0;
    };

    int width_ = 0;
    int height_ = 0;
    int stride_ = 0;
    TStore data_;
};

} // namespace tevrin
