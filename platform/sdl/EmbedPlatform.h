// SPDX-License-Identifier: MIT
// The saver drawn into a window another program owns: the window a
// screen-saver daemon hands over (--window-id, $XSCREENSAVER_WINDOW) or the
// root window (--root). The window is the saver's screen and follows its
// size; input is the owner's business (a daemon ends the saver with
// SIGTERM), so none is read.
#pragma once

#include "platform/sdl/LinuxPlatform.h"

namespace tevrin {

class TXEmbedPlatform final : public TLinuxPlatform {
public:
    // `target` 0 is the root window. Throws EError without a display or
    // when the window does not exist.
    explicit TXEmbedPlatform(TWindowId target);
    ~TXEmbedPlatform() override;

    TWindowId Target() const { return target_; }

    bool WaitEvent(TEvent& event, int timeout_ms) override;

    // Every window of ours is the target; only the first is the saver's.
    TWindowId CreateWindow(const TWindowParams& params) override;
    void DestroyWindow(TWindowId window) override;
    void SetWindowBounds(TWindowId, const TRect&) override {}
    void ShowWindow(TWindowId, bool) override {}
    void SetTopmost(TWindowId, bool) override {}
    void SetWindowBorder(TWindowId, bool) override {}
    void SetCaption(TWindowId, const std::string&) override {}
    void Present(TWindowId window, const TBitmap24& back_buffer, const TRect& area,
                 std::span<const TRect> parts) override;

    // The window is the one monitor: a daemon runs one saver per monitor.
    std::vector<TMonitor> Monitors() override { return {{size_, 96, true}}; }
    // The owner's cursor is the owner's.
    void ShowCursor(bool) override {}
    void SetCursorShape(TCursorShape) override {}
    // Nobody sits at an embedded saver's window to answer: the text goes to
    // standard error, the answer is the one that changes nothing.
    std::optional<int> MessageBox(const std::string& text, const std::string& caption,
                                  int buttons) override;

protected:
    void Interrupt() override;

private:
    TXDisplay x_;
    TWindowId target_;
    TRect size_;
    TWindowId first_ = 0, next_ = 1;
    int wake_fd_ = -1;
    bool gone_ = false;
};

} // namespace tevrin
