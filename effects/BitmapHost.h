// SPDX-License-Identifier: MIT
// Frames drawn straight between two bitmaps, with no control around them:
// for rendering frames to files, timing them, and checking a control's.
#pragma once

#include "effects/Effects.h"

#include <cstdint>
#include <optional>

namespace tevrin {

class TBitmapFrameHost final : public TEffectHost {
public:
    // `from` and `to` must outlive the host and have the same size; frames
    // have `to`'s pixel size.
    TBitmapFrameHost(const TBitmap24& from, const TBitmap24& to, int style, int step = 4)
        : from_(from), to_(to),
          screen_(to.PixelBytes() == 4 ? TBitmap24(to.Width(), to.Height(), TBitmap24::kPixels32)
                                       : TBitmap24(to.Width(), to.Height())),
          style_(style), step_(step) {}

    // Draws the frame at `progress` and returns it.
    const TBitmap24& Draw(int progress) {
        progress_ = progress;
        DrawEffectFrame(*this);
        return screen_;
    }
    TBitmap24 Take() { return std::move(screen_); }
    int Progress() const { return progress_; }

    TShowStyle FrameStyle() const override { return static_cast<TShowStyle>(style_); }
    int FrameProgress() const override { return progress_; }
    int FrameStep() const override { return step_; }
    void SetProgressField(int progress) override { progress_ = progress; }
    TBitmap24& ScreenBitmap() override { return screen_; }
    const TBitmap24& PictureBitmap() const override { return to_; }
    const TBitmap24& OldBitmap() const override { return from_; }
    bool HasBeforeNewFrame() const override { return false; }
    bool Painting() const override { return false; }
    void InvalidateArea(const TRect&) override {}
    void UpdateNow() override {}

private:
    const TBitmap24& from_;
    const TBitmap24& to_;
    TBitmap24 screen_;
    int style_, step_, progress_ = 0;
};

// One frame of `style` at `progress` from `from` to `to` (of one size), the
// random styles seeded with `seed` when given.
TBitmap24 RenderFrame(const TBitmap24& from, const TBitmap24& to, int style, int progress,
                      std::optional<std::uint32_t> seed = std::nullopt);

} // namespace tevrin
