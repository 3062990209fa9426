// SPDX-License-Identifier: MIT
// A bitmap laid out as a top-down device-independent bitmap: 3 bytes per
// pixel in B, G, R order, each row padded to a multiple of 4 bytes; or, in
// the display's own format, 4 bytes per pixel (B, G, R and one unused).
// It owns its pixels, or is a view of pixels a window owns (its surface).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
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
    // Black, in 4-byte pixels.
    enum TPixels32 { kPixels32 };
    TBitmap24(int width, int height, TPixels32);
    // 4-byte pixels, undefined until the caller writes every one.
    TBitmap24(int width, int height, TPixels32, TUndefined);
    // Undefined pixels of `pixel_bytes` (3 or 4) bytes.
    static TBitmap24 Undefined(int width, int height, int pixel_bytes);
    // A view of 4-byte pixels someone else owns, `stride` bytes a row, for
    // as long as they do. Copies of a view own their pixels.
    static TBitmap24 View32(std::uint8_t* bits, int width, int height, int stride);
    TBitmap24(const TBitmap24& other);
    TBitmap24(TBitmap24&& other) noexcept;
    TBitmap24& operator=(const TBitmap24& other);
    TBitmap24& operator=(TBitmap24&& other) noexcept;

    int Width() const { return width_; }
    int Height() const { return height_; }
    int Stride() const { return stride_; }
    // 3, or 4 in the display's format.
    int PixelBytes() const { return pixel_bytes_; }
    bool IsView() const { return view_ != nullptr; }
    bool Empty() const { return width_ == 0 || height_ == 0; }

    std::uint8_t* Row(int y) { return Bits() + static_cast<std::size_t>(y) * stride_; }
    const std::uint8_t* Row(int y) const { return Bits() + static_cast<std::size_t>(y) * stride_; }
    std::uint8_t* Bits() { return view_ != nullptr ? view_ : data_.data(); }
    const std::uint8_t* Bits() const { return view_ != nullptr ? view_ : data_.data(); }
    // The pixel rows, padding included; the buffer holds kSlack bytes more,
    // so a load of up to 8 bytes from any pixel stays inside it.
    std::size_t ByteSize() const {
        if (view_ != nullptr) return static_cast<std::size_t>(stride_) * height_;
        return data_.empty() ? 0 : data_.size() - kSlack;
    }
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
        // From the C heap, which hands out large blocks the system has
        // cleared already without clearing them again.
        struct TFree {
            void operator()(std::uint8_t* bytes) const { std::free(bytes); }
        };
        std::unique_ptr<std::uint8_t[], TFree> bytes_;
        std::size_t size_ = 0;
    };

    // Sizes the bitmap and allocates its pixels, black or undefined.
    void Make(int width, int height, int pixel_bytes, bool cleared);

    int width_ = 0;
    int height_ = 0;
    int stride_ = 0;
    int pixel_bytes_ = 3;
    TStore data_;
    std::uint8_t* view_ = nullptr;
};

} // namespace tevrin
