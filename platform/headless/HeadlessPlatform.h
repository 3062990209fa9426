// SPDX-License-Identifier: MIT
// A platform without a display, for tests and for rendering saver runs.
//
// Time is virtual: the tick count moves only when the user-interface thread
// waits with nothing to do and every other thread is asleep or waiting for
// it, and then straight to the next moment something happens (a timeout, a
// sleeper's wake-up, a scripted input). Runs with the same input give the
// same frames at the same times, however fast the machine is.
#pragma once

#include "platform/PresentLog.h"
#include "platform/SystemText.h"
#include "platform/headless/HeadlessServices.h"
#include "ui/Platform.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace tevrin {

class THeadlessPlatform final : public TPlatform {
public:
    enum class TClock { Virtual, Real };
    // With TClock::Real the tick count is the wall clock's and waits really
    // wait: for measuring what a run costs, not for tests of its timing.
    // Such a run logs its presented frames as the display platforms do
    // ($TEVRIN_PRESENT_LOG).
    explicit THeadlessPlatform(int screen_width = 1920, int screen_height = 1080,
                               TClock clock = TClock::Virtual);
    // Several monitors; the first is the primary one (none: one of 1920x1080).
    explicit THeadlessPlatform(std::vector<TMonitor> monitors, TClock clock = TClock::Virtual);

    // Scripted input, delivered at virtual time `at`; input for window 0
    // goes to the window shown last, as keys go to the focused window.
    void Script(std::uint32_t at, const TEvent& event);
    // Work for the interface thread at virtual time `at` (a sound's end, a
    // window of another process going away).
    void ScriptCall(std::uint32_t at, std::function<void()> call);
    // The run ends (Exhausted) once the clock reaches `tick`.
    void StopAt(std::uint32_t tick) { stop_at_ = tick; }
    // Moves the clock on, as if the user-interface thread had waited.
    void Advance(std::uint32_t ms);
    // Keep a copy of every presented back buffer; hash it (costly at full
    // screen size, so a benchmark turns it off).
    bool KeepFrames = false;
    // 4: windows have surfaces of 4-byte pixels, as a display's, which
    // forms compose their frames in; 3: forms keep back buffers of their
    // own. Frames are hashed, kept and handed on by their colours alike.
    int PixelBytes = 3;
    bool HashFrames = true;
    // Answers of coming message boxes, first to last; kIdOk when none left.
    std::deque<int> MessageBoxAnswers;
    // Off: the platform has no box of its own, as where the application
    // draws its own (the boxes are then neither recorded nor answered here).
    bool SystemMessageBoxes = true;
    // Message boxes also go to standard error and to the services' log, as a
    // run on the command line reports them.
    bool ReportMessageBoxes = false;

    // SIGTERM and SIGINT end the run as closing its main form would, so it
    // cleans up as after a key, while this platform lives (set before the
    // run starts).
    bool EndOnSignals = false;
    ~THeadlessPlatform() override;

    struct TFrame {
        std::uint32_t Tick;
        TWindowId Window;
        TRect Area;
        std::uint64_t Hash;       // of the whole back buffer
        TRect WindowBounds;       // where the window was on the desktop
        TBitmap24 Image;          // with KeepFrames
        std::vector<TRect> Parts; // of Area, as Present had them
    };
    struct TWindow {
        TWindowParams Params;
    };
    struct TMessageBox {
        std::string Text, Caption;
        int Buttons, Answer;
        std::uint32_t Tick;
    };
    // Called with each frame as it is presented, and the back buffer: for
    // writing frames out as they come rather than keeping them.
    std::function<void(const TFrame& frame, const TBitmap24& image)> OnFrame;
    std::vector<TFrame> Frames;
    std::vector<TMessageBox> MessageBoxes;
    std::map<TWindowId, TWindow> Windows;
    bool CursorVisible = true;
    // What waiting cost: how often the interface thread was asked to wait,
    // and how often it returned at once without the clock moving.
    int Waits = 0, EmptyPolls = 0;

    static std::uint64_t HashBitmap(const TBitmap24& bitmap);

    std::uint32_t TickCount() override;
    bool WaitEvent(TEvent& event, int timeout_ms) override;
    void Wake() override;
    void WaitWake(int timeout_ms) override;
    bool Exhausted() override;
    void Sleep(std::uint32_t ms) override;
    void ThreadStarted() override;
    void ThreadEnded() override;
    void ThreadBlocked() override;
    void ThreadUnblocked() override;

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

    std::vector<TMonitor> Monitors() override { return monitors_; }
    void ShowCursor(bool visible) override { CursorVisible = visible; }
    void SetCursorShape(TCursorShape shape) override { CursorShape = shape; }
    TCursorShape CursorShape = TCursorShape::Default;
    std::optional<int> MessageBox(const std::string& text, const std::string& caption,
                                  int buttons) override;
    TServices& Services() override { return services_; }
    TTextEngine& Text() override { return *text_; }
    THeadlessServices& Headless() { return services_; }

private:
    struct TSleeper {
        std::uint32_t Deadline;
        bool Released = false;
    };
    // Waits, under the lock, until `ready` holds or the clock reaches
    // `deadline` (nullopt: no limit). False when the time ran out first.
    template <typename F>
    bool WaitUntil(std::unique_lock<std::mutex>& lock, const F& ready,
                   const std::uint64_t* deadline);
    void MoveClockTo(std::uint32_t tick);
    // Moves the scripted events due by `now` to the queue.
    void DeliverScripted(std::uint32_t now);

    std::uint32_t RealNow() const;
    bool EndPending() const;

    std::vector<TMonitor> monitors_;
    // With PixelBytes 4: each window's surface.
    std::map<TWindowId, TBitmap24> surfaces_;
    TClock clock_;
    std::optional<TPresentLog> present_log_; // with TClock::Real
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    std::mutex mutex_;
    std::condition_variable changed_;
    std::uint32_t tick_ = 0;
    std::uint32_t stop_at_ = UINT32_MAX;
    bool starved_ = false;
    bool signals_set_ = false;
    bool end_delivered_ = false;
    std::multimap<std::uint32_t, TEvent> scripted_;
    TWindowId focused_ = 0;
    std::deque<TEvent> queue_;
    bool wake_ = false;
    int active_threads_ = 0;
    std::vector<TSleeper*> sleepers_;
    TWindowId next_window_ = 1;
    THeadlessServices services_{*this};
    std::unique_ptr<TTextEngine> text_ = MakeSystemTextEngine();
};

} // namespace tevrin
