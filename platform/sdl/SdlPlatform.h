// SPDX-License-Identifier: MIT
// Our own windows on SDL2: the saver full-screen on the primary display (or
// in a normal window, for trying a saver out), the settings dialog and the
// message boxes. Each window presents its back buffer through one streaming
// texture; waiting for events sleeps in SDL until one comes or the time
// runs out.
#pragma once

#include "platform/sdl/LinuxPlatform.h"

#include <memory>

namespace tevrin {

class TSdlPlatform final : public TLinuxPlatform {
public:
    struct TOptions {
        // The saver in a normal window of Width x Height instead of over the
        // whole screen: the window is the saver's screen.
        bool Windowed = false;
        int Width = 1280, Height = 720;
    };
    // Throws EError when there is no display to show windows on.
    explicit TSdlPlatform(const TOptions& options);
    ~TSdlPlatform() override;

    bool WaitEvent(TEvent& event, int timeout_ms) override;

    TWindowId CreateWindow(const TWindowParams& params) override;
    void DestroyWindow(TWindowId window) override;
    void SetWindowBounds(TWindowId window, const TRect& bounds) override;
    void ShowWindow(TWindowId window, bool visible) override;
    void SetTopmost(TWindowId window, bool topmost) override;
    void SetWindowBorder(TWindowId window, bool border) override;
    void SetCaption(TWindowId window, const std::string& caption) override;
    void Present(TWindowId window, const TBitmap24& back_buffer, const TRect& area,
                 std::span<const TRect> parts) override;
    TBitmap24 WindowSurface(TWindowId window, int width, int height) override;

    std::vector<TMonitor> Monitors() override;
    void ShowCursor(bool visible) override;
    void SetCursorShape(TCursorShape shape) override;

    // The virtual key code of an SDL key, as the classic platform numbers
    // keys (letters and digits as their capitals, 13 Enter, 27 Escape...).
    static int VirtualKey(int sdl_keycode);

protected:
    void Interrupt() override;

private:
    struct TImpl;
    std::unique_ptr<TImpl> impl_;
};

} // namespace tevrin
