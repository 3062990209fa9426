// SPDX-License-Identifier: MIT
// Windows of the X server that are not ours (the preview window, the window
// a screen-saver daemon hands us, the root window): whether they exist and
// show, their size, their structure changes, and our bitmaps drawn into
// them. An own connection, independent of SDL's; X errors on it are
// trapped and turned into results instead of ending the process.
#pragma once

#include "gfx/Bitmap24.h"
#include "gfx/Rect.h"
#include "ui/Platform.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace tevrin {

class TXDisplay {
public:
    // Opens $DISPLAY; Valid() is false when there is none.
    TXDisplay();
    ~TXDisplay();
    TXDisplay(const TXDisplay&) = delete;
    TXDisplay& operator=(const TXDisplay&) = delete;

    bool Valid() const { return display_ != nullptr; }
    // Whether the server is Xwayland, whose root window a Wayland
    // compositor does not show.
    bool IsXwayland();
    TWindowId Root();

    bool Exists(TWindowId window);
    bool Viewable(TWindowId window);
    // The window's client area, at the origin; empty when it is gone.
    TRect ClientRect(TWindowId window);
    // Copies `area` of `bitmap` to the same place in the window; nothing
    // when the window is gone or its visual is not 24-bit true colour.
    void Draw(TWindowId window, const TBitmap24& bitmap, const TRect& area);
    // The pointer's position on the screen of the root window.
    std::pair<int, int> PointerPosition();
    // The monitors as Xinerama lays them out on the root window, the first
    // being the primary; empty where the server has no Xinerama.
    std::vector<TRect> XineramaScreens();

    // Structure and exposure events of `window` become readable through
    // NextChange; the connection's descriptor wakes a poll when one comes.
    void Watch(TWindowId window);
    int Descriptor();
    struct TChange {
        enum TKind { Resized, Exposed, Destroyed } Kind;
        TRect Area; // Resized: the new client rectangle; Exposed: the part
    };
    // The next change of a watched window, without waiting.
    bool NextChange(TChange& change);

private:
    // Runs `call` with errors trapped; false when the server reported one.
    template <typename F> bool Trapped(const F& call);

    // What drawing into a window needs, looked up once per window rather
    // than once per frame: its visual and depth (Usable when they are
    // 24-bit true colour as Draw writes it) and a graphics context.
    struct TTarget {
        void* Visual = nullptr; // Visual*
        int Depth = 0;
        void* Gc = nullptr; // GC
        bool Usable = false;
    };
    TTarget& TargetFor(TWindowId window);

    void* display_ = nullptr; // Display*
    std::mutex mutex_;
    std::map<TWindowId, TTarget> targets_;
    std::vector<std::uint32_t> pixels_; // the frame being sent, kept for its capacity
};

} // namespace tevrin
