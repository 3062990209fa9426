// SPDX-License-Identifier: MIT
// The one contract every platform implements (win32, SDL, headless): time,
// the event queue, top-level windows and their presentation, the screen.
// The framework in ui/ is written against it; nothing above ui/ sees it.
#pragma once

#include "gfx/Bitmap24.h"
#include "gfx/Rect.h"
#include "gfx/Text.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tevrin {

using TWindowId = std::intptr_t;

// Shift state bits of key and mouse events.
enum TShiftBits : std::uint8_t { ssShift = 1, ssAlt = 2, ssCtrl = 4, ssLeft = 8, ssRight = 16 };

struct TEvent {
    enum TKind {
        None,
        KeyDown, // Key: the platform's virtual key code
        KeyUp,
        MouseDown, // X, Y in client coordinates; Button 0 left, 1 right, 2 middle
        MouseUp,
        MouseMove,
        Expose, // part of a window needs repainting: Area
        CloseRequest,
        Resized,    // the window's client size is now X x Y
        Wake,       // something was posted from another thread
        Work,       // the platform's own work for the interface thread: Call
        Command,    // the native control Control was clicked or toggled
        Quit,       // the system asks the program to end (a signal, WM_QUIT): the
                    // main form closes as after a key, then the loop ends
        DpiChanged, // the window moved to a monitor of X pixels per inch; the
                    // platform has placed it as the system suggests, its
                    // client area now Area in desktop coordinates
    };
    TKind Kind = None;
    TWindowId Window = 0;
    int Key = 0;
    int X = 0, Y = 0;
    int Button = 0;
    std::uint8_t Shift = 0;
    TRect Area;
    TWindowId Control = 0;
    std::function<void()> Call;
};

class TServices;

struct TMonitor {
    TRect Bounds;           // in desktop coordinates
    int PixelsPerInch = 96; // logical pixels per inch of text on it
    bool Primary = false;
    int BitsPerPixel = 24; // its colour depth
};

struct TWindowParams {
    TRect Bounds; // screen coordinates
    bool Border = true;
    bool Topmost = false;
    bool Visible = false;
    std::string Caption;
    std::uint32_t Color = 0xF0F0F0; // behind native controls
};

// The system's own controls, where a platform has them: a dialog is then
// made of them instead of the ones we draw.
enum class TNativeKind { Label, Link, CheckBox, Button, DefaultButton };
struct TNativeParams {
    TNativeKind Kind = TNativeKind::Label;
    TRect Bounds; // in the parent's client area
    std::string Caption;
    TFontSpec Font;
};

class TPlatform {
public:
    virtual ~TPlatform() = default;

    // Milliseconds from an arbitrary start, wrapping at 2^32.
    virtual std::uint32_t TickCount() = 0;

    // The next event, waiting at most `timeout_ms` (0: do not wait; negative:
    // wait until one comes). False when the time ran out.
    virtual bool WaitEvent(TEvent& event, int timeout_ms) = 0;
    // Makes a waiting WaitEvent return a Wake event; any thread may call it.
    virtual void Wake() = 0;
    // Waits until Wake is called or `timeout_ms` passes (negative: no
    // limit), leaving queued events where they are.
    virtual void WaitWake(int timeout_ms) = 0;
    // True when nothing can happen any more (a headless run that reached its
    // end); the message loop then ends.
    virtual bool Exhausted() { return false; }

    // A thread other than the user-interface thread pauses. Platforms with a
    // virtual clock count it in virtual time.
    virtual void Sleep(std::uint32_t ms) = 0;
    // Bracket a non-interface thread's life and its waits for the interface
    // thread, so a virtual clock knows when every thread is idle: the
    // creating thread calls ThreadStarted before the thread runs; a thread
    // calls ThreadBlocked before it waits for the interface thread, and the
    // interface thread calls ThreadUnblocked before it releases it.
    virtual void ThreadStarted() {}
    virtual void ThreadEnded() {}
    virtual void ThreadBlocked() {}
    virtual void ThreadUnblocked() {}

    virtual TWindowId CreateWindow(const TWindowParams& params) = 0;
    virtual void DestroyWindow(TWindowId window) = 0;
    virtual void SetWindowBounds(TWindowId window, const TRect& bounds) = 0;
    virtual void ShowWindow(TWindowId window, bool visible) = 0;
    virtual void SetTopmost(TWindowId window, bool topmost) = 0;
    // Gives the window a frame and caption or takes them away; without one
    // a window whose bounds are a monitor's fills that monitor.
    virtual void SetWindowBorder(TWindowId window, bool border) = 0;
    virtual void SetCaption(TWindowId window, const std::string& caption) = 0;
    // Shows `area` of the window's back buffer (client coordinates) in one
    // call: at least its `parts` (disjoint rectangles within it), all of it
    // when there are none. A back buffer that is the window's surface is
    // only told which area changed.
    virtual void Present(TWindowId window, const TBitmap24& back_buffer, const TRect& area,
                         std::span<const TRect> parts) = 0;
    // The window's own pixels in the display's format (4 bytes a pixel), of
    // width x height, for its form to compose its frames in: a view valid
    // until the next call. Empty where the platform has none; the form then
    // keeps a back buffer of its own.
    virtual TBitmap24 WindowSurface(TWindowId /*window*/, int /*width*/, int /*height*/) {
        return {};
    }

    // The monitors, first the primary one, each at its place on the desktop
    // (whose origin is the primary monitor's top left, so others may lie at
    // negative coordinates). Never empty: a platform that draws into one
    // window reports that window as its only monitor.
    virtual std::vector<TMonitor> Monitors() = 0;
    TMonitor PrimaryMonitor() { return Monitors().front(); }
    // Fonts: text measured and drawn on our bitmaps.
    virtual TTextEngine& Text() = 0;

    virtual void ShowCursor(bool visible) = 0;
    // The pointer's shape over the program's windows.
    enum class TCursorShape { Default, HandPoint };
    virtual void SetCursorShape(TCursorShape shape) = 0;

    // Sound, movies and the system services (ui/Services.h).
    virtual TServices& Services() = 0;

    // The system's own modal message box; returns the button pressed
    // (kIdOk, kIdYes, kIdNo), or nothing where the platform has no box of
    // its own (the application then draws one: TApplication::MessageBox).
    virtual std::optional<int> MessageBox(const std::string& /*text*/,
                                          const std::string& /*caption*/, int /*buttons*/) {
        return std::nullopt;
    }

    // A native control in `parent`; 0 where the platform has none (ours are
    // drawn then). A click or a toggle comes as a Command event for the
    // parent; Enter and Escape in a window with native controls come as
    // its key presses.
    virtual TWindowId CreateNativeControl(TWindowId /*parent*/, const TNativeParams& /*params*/) {
        return 0;
    }
    virtual void SetNativeText(TWindowId /*control*/, const std::string& /*text*/) {}
    virtual void SetNativeBounds(TWindowId /*control*/, const TRect& /*bounds*/) {}
    virtual void SetNativeFont(TWindowId /*control*/, const TFontSpec& /*font*/) {}
    virtual void SetNativeChecked(TWindowId /*control*/, bool /*checked*/) {}
    virtual bool NativeChecked(TWindowId /*control*/) { return false; }
};

// Message box buttons and answers, numbered as the classic platform's.
inline constexpr int kMbOk = 0, kMbYesNo = 4, kMbIconInformation = 0x40;
inline constexpr int kIdOk = 1, kIdYes = 6, kIdNo = 7;

} // namespace tevrin
