// SPDX-License-Identifier: MIT
// One frame of a picture transition.
//
// DrawEffectFrame rebuilds the whole frame from the old image and the new
// picture for the host's current style and progress; it never depends on the
// frame before it, so a transition may run forwards, backwards or jump.
#pragma once

#include "gfx/Bitmap24.h"
#include "gfx/Rect.h"
#include "gfx/Region.h"

#include <cstdint>

namespace tevrin {

// A transition style: 0 custom draw, 1..127 built in. Numbers above 127 draw
// only the old image.
using TShowStyle = std::uint8_t;
inline constexpr int kLastStyle = 127;
// The style a picture show holds before its first transition: a show taking
// every style in turn enters its first picture with the one after it.
inline constexpr TShowStyle kInitialStyle = 51;
// The design's transition: 25 frames, 40 ms apart.
inline constexpr int kDefaultFrameDelayMs = 40;
inline constexpr int kDefaultTransitionFrames = 25;

// Where a frame may differ from the old image: InPlace shows the picture at
// its own pixels, Moved anything else (a picture moved, scaled or blended).
// Two frames differ only within (InPlace XOR the other's InPlace) and
// either's Moved.
struct TFrameChange {
    TRegion InPlace, Moved;
};

// What a frame reads from and reports to the picture show control. The
// three bitmaps have the picture bitmap's size, and draw fastest with one
// pixel size (3 bytes, or 4 in the display's format).
class TEffectHost {
public:
    virtual ~TEffectHost() = default;

    virtual TShowStyle FrameStyle() const = 0;
    virtual int FrameProgress() const = 0; // 0..100
    virtual int FrameStep() const = 0;
    // A plain write of the progress value, starting no frame of its own.
    virtual void SetProgressField(int progress) = 0;

    virtual TBitmap24& ScreenBitmap() = 0;
    virtual const TBitmap24& PictureBitmap() const = 0;
    virtual const TBitmap24& OldBitmap() const = 0;
    // Set while the control paints itself: the frame then asks for no
    // synchronous update.
    virtual bool Painting() const = 0;

    // The frame events; a host without a handler does nothing.
    virtual void BeforeNewFrame() {}
    // False only when BeforeNewFrame is known to do nothing; the frame may
    // then skip drawing the old image where the new picture covers it all.
    virtual bool HasBeforeNewFrame() const { return true; }
    virtual void AfterNewFrame() {}
    // False only when AfterNewFrame is known to draw nothing on the screen.
    virtual bool HasAfterNewFrame() const { return true; }
    // Runs the custom-draw handler; false when none is assigned.
    virtual bool CustomDraw() { return false; }

    // A rectangle of the screen bitmap has changed.
    virtual void InvalidateArea(const TRect& rect) = 0;
    // A region of the screen bitmap has changed; by default its bounds are
    // reported.
    virtual void InvalidateRegion(const TRegion& region) { InvalidateArea(region.Bounds()); }
    // For a host whose display is told only what changed: what the frame
    // drawn last changed (before the first frame of a transition, Moved is
    // the whole bitmap). A frame then reports through InvalidateRegion only
    // where it differs from that frame, and leaves its own change here.
    // Null: each frame reports the area its style's family always does.
    virtual TFrameChange* KeptChange() { return nullptr; }
    // Repaints the invalidated area at once.
    virtual void UpdateNow() = 0;
};

void DrawEffectFrame(TEffectHost& host);

// How a style's new picture reaches the screen bitmap (0 to kLastStyle;
// effects/Styles.h has each style's family).
enum class TStyleClass { Custom, Rectangle, Region, Pixel };
TStyleClass ClassOfStyle(int style);

} // namespace tevrin
