// SPDX-License-Identifier: MIT
// The saver on the real Windows API: windows of our own class presenting
// their back buffers with one DIB copy, the message loop waiting in
// MsgWaitForMultipleObjects, the hidden application window that receives
// the media player's notices and raw input, and the services of
// Win32Services.h.
#pragma once

#include "platform/PresentLog.h"
#include "platform/SystemText.h"
#include "platform/win32/Win32Services.h"
#include "ui/Platform.h"

#include <deque>
#include <map>
#include <memory>

namespace tevrin {

class TWin32Platform final : public TPlatform {
public:
    TWin32Platform();
    ~TWin32Platform() override;

    std::uint32_t TickCount() override;
    bool WaitEvent(TEvent& event, int timeout_ms) override;
    void Wake() override;
    void WaitWake(int timeout_ms) override;
    void Sleep(std::uint32_t ms) override;

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
    TServices& Services() override { return services_; }
    TTextEngine& Text() override { return *text_; }
    std::optional<int> MessageBox(const std::string& text, const std::string& caption,
                                  int buttons) override;

    TWindowId CreateNativeControl(TWindowId parent, const TNativeParams& params) override;
    void SetNativeText(TWindowId control, const std::string& text) override;
    void SetNativeBounds(TWindowId control, const TRect& bounds) override;
    void SetNativeFont(TWindowId control, const TFontSpec& font) override;
    void SetNativeChecked(TWindowId control, bool checked) override;
    bool NativeChecked(TWindowId control) override;

    // The hidden application window: the owner of our top-level windows and
    // the receiver of notices (media player, raw input).
    TWindowId AppWindow() const { return app_window_; }
    // Queues an event for WaitEvent; the interface thread only.
    void Queue(TEvent event) { made_.push_back(std::move(event)); }
    // One copy of `area` of a bitmap to the same place of the device
    // context `dc` (an HDC).
    static void Blit(void* dc, const TBitmap24& bitmap, const TRect& area);
    // What `window`'s client area shows now, read back through its device
    // context (for tests).
    static TBitmap24 Capture(TWindowId window);
    // The window procedure's view of one of our windows (Win32Platform.cpp).
    std::intptr_t HandleMessage(TWindowId window, unsigned message, std::uintptr_t wparam,
                                std::intptr_t lparam);

private:
    // A window's surface: a top-down 32-bit DIB section, selected into a
    // memory DC of its own, that forms compose their frames in.
    struct TSurface {
        void* Bitmap = nullptr; // HBITMAP
        void* Dc = nullptr;     // HDC
        std::uint8_t* Bits = nullptr;
        int Width = 0, Height = 0;
    };
    struct TWindow {
        TWindowParams Params;
        const TBitmap24* Shown = nullptr; // the buffer last presented
        void* Brush = nullptr;            // HBRUSH of Params.Color, behind native controls
        TSurface Surface;
    };
    static void FreeSurface(TSurface& surface);
    // `area` of the window's buffer `shown` to `dc`, or only its `parts` when
    // there are any: straight from its surface when the buffer is that, else
    // widened.
    void Show(void* dc, const TWindow& window, const TBitmap24& shown, const TRect& area,
              std::span<const TRect> parts = {});
    struct TControl {
        TWindowId Parent = 0;
        TNativeKind Kind = TNativeKind::Label;
        std::uint32_t TextColor = 0;
        void* Font = nullptr; // HFONT
    };
    // Whether `window` (a root window) has native controls: its messages
    // then pass through the system's dialog keyboard handling.
    bool HasControls(TWindowId window) const;

    TWindowId app_window_ = 0;
    void* wake_ = nullptr; // auto-reset event
    std::deque<TEvent> made_;
    std::map<TWindowId, TWindow> windows_;
    std::map<TWindowId, TControl> controls_;
    bool cursor_visible_ = true;
    TCursorShape cursor_shape_ = TCursorShape::Default;
    TWin32Services services_{*this};
    TPresentLog present_log_;
    std::unique_ptr<TTextEngine> text_ = MakeSystemTextEngine();
};

} // namespace tevrin
