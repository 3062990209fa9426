// SPDX-License-Identifier: MIT
#include "platform/headless/HeadlessPlatform.h"

#include "gfx/Copy.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <thread>

namespace tevrin {
namespace {

// Set by a signal handler: lock-free, read by the waiting loop.
std::atomic<bool> g_end_requested{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void HeadlessEndOnSignal(int) {
    g_end_requested.store(true);
}

} // namespace

THeadlessPlatform::~THeadlessPlatform() {
    if (!signals_set_) return;
    std::signal(SIGTERM, SIG_DFL);
    std::signal(SIGINT, SIG_DFL);
}

bool THeadlessPlatform::EndPending() const {
    return !end_delivered_ && g_end_requested.load();
}

THeadlessPlatform::THeadlessPlatform(int screen_width, int screen_height, TClock clock)
    : THeadlessPlatform({{{0, 0, screen_width, screen_height}, 96, true}}, clock) {}

THeadlessPlatform::THeadlessPlatform(std::vector<TMonitor> monitors, TClock clock)
    : monitors_(std::move(monitors)), clock_(clock) {
    if (monitors_.empty()) monitors_.push_back({{0, 0, 1920, 1080}, 96, true});
    if (clock_ == TClock::Real) present_log_.emplace();
    for (TMonitor& m : monitors_)
        m.Primary = &m == &monitors_.front();
}

std::uint32_t THeadlessPlatform::RealNow() const {
    return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::steady_clock::now() - start_)
                                          .count());
}

std::uint64_t THeadlessPlatform::HashBitmap(const TBitmap24& bitmap) {
    std::uint64_t hash = 1469598103934665603ull; // FNV-1a over the pixels
    for (int y = 0; y < bitmap.Height(); ++y) {
        const std::uint8_t* row = bitmap.Row(y);
        for (int i = 0; i < bitmap.Width() * 3; ++i)
            hash = (hash ^ row[i]) * 1099511628211ull;
    }
    return hash ^ (static_cast<std::uint64_t>(bitmap.Width()) << 32 | bitmap.Height());
}

void THeadlessPlatform::Script(std::uint32_t at, const TEvent& event) {
    std::lock_guard lock(mutex_);
    scripted_.emplace(at, event);
    starved_ = false;
    changed_.notify_all();
}

void THeadlessPlatform::ScriptCall(std::uint32_t at, std::function<void()> call) {
    TEvent event;
    event.Kind = TEvent::Work;
    event.Call = std::move(call);
    Script(at, event);
}

std::uint32_t THeadlessPlatform::TickCount() {
    if (clock_ == TClock::Real) return RealNow();
    std::lock_guard lock(mutex_);
    return tick_;
}

void THeadlessPlatform::MoveClockTo(std::uint32_t tick) {
    tick_ = tick;
    for (auto it = sleepers_.begin(); it != sleepers_.end();) {
        if ((*it)->Deadline <= tick_) {
            (*it)->Released = true;
            ++active_threads_;
            it = sleepers_.erase(it);
        } else {
            ++it;
        }
    }
    changed_.notify_all();
}

void THeadlessPlatform::Advance(std::uint32_t ms) {
    std::lock_guard lock(mutex_);
    MoveClockTo(tick_ + ms);
}

void THeadlessPlatform::DeliverScripted(std::uint32_t now) {
    while (!scripted_.empty() && scripted_.begin()->first <= now) {
        TEvent& event = scripted_.begin()->second;
        const bool input = event.Kind == TEvent::KeyDown || event.Kind == TEvent::KeyUp ||
                           event.Kind == TEvent::MouseDown || event.Kind == TEvent::MouseUp ||
                           event.Kind == TEvent::MouseMove;
        if (input && event.Window == 0) event.Window = focused_;
        queue_.push_back(std::move(event));
        scripted_.erase(scripted_.begin());
    }
}

template <typename F>
bool THeadlessPlatform::WaitUntil(std::unique_lock<std::mutex>& lock, const F& ready,
                                  const std::uint64_t* deadline) {
    if (clock_ == TClock::Real) {
        for (;;) {
            const std::uint32_t now = RealNow();
            DeliverScripted(now);
            if (ready()) return true;
            if (deadline != nullptr && now >= *deadline) return false;
            if (now >= stop_at_) return false;
            std::uint64_t next = deadline != nullptr ? *deadline : stop_at_;
            if (!scripted_.empty()) next = std::min<std::uint64_t>(next, scripted_.begin()->first);
            changed_.wait_for(lock, std::chrono::milliseconds(next - now));
        }
    }
    for (;;) {
        DeliverScripted(tick_);
        if (ready()) return true;
        if (deadline != nullptr && tick_ >= *deadline) return false;
        if (active_threads_ > 0) {
            // Another thread is still working: time stands still meanwhile.
            // A signal cannot wake the wait, so it looks again now and then.
            changed_.wait_for(lock, std::chrono::milliseconds(50));
            continue;
        }
        if (tick_ >= stop_at_) return false;
        std::uint64_t next = deadline != nullptr ? *deadline : UINT64_MAX;
        if (!scripted_.empty()) next = std::min<std::uint64_t>(next, scripted_.begin()->first);
        for (const TSleeper* s : sleepers_)
            next = std::min<std::uint64_t>(next, s->Deadline);
        if (next == UINT64_MAX) {
            // Nothing will ever happen: the run waits out its time, or, with
            // no end set, is over.
            if (stop_at_ != UINT32_MAX)
                MoveClockTo(stop_at_);
            else
                starved_ = true;
            return false;
        }
        MoveClockTo(static_cast<std::uint32_t>(std::min<std::uint64_t>(next, stop_at_)));
    }
}

bool THeadlessPlatform::WaitEvent(TEvent& event, int timeout_ms) {
    if (EndOnSignals && !signals_set_) {
        signals_set_ = true;
        std::signal(SIGTERM, HeadlessEndOnSignal);
        std::signal(SIGINT, HeadlessEndOnSignal);
    }
    std::unique_lock lock(mutex_);
    ++Waits;
    auto ready = [&] { return !queue_.empty() || wake_ || EndPending(); };
    const std::uint64_t now = clock_ == TClock::Real ? RealNow() : tick_;
    const std::uint64_t deadline = now + std::max(timeout_ms, 0);
    if (!WaitUntil(lock, ready, timeout_ms < 0 ? nullptr : &deadline)) {
        if (timeout_ms == 0) ++EmptyPolls;
        return false;
    }
    if (EndPending()) {
        end_delivered_ = true;
        event = TEvent{};
        event.Kind = TEvent::Quit;
    } else if (!queue_.empty()) {
        event = queue_.front();
        queue_.pop_front();
    } else {
        wake_ = false;
        event = TEvent{};
        event.Kind = TEvent::Wake;
    }
    return true;
}

void THeadlessPlatform::Wake() {
    std::lock_guard lock(mutex_);
    wake_ = true;
    changed_.notify_all();
}

void THeadlessPlatform::WaitWake(int timeout_ms) {
    std::unique_lock lock(mutex_);
    const std::uint64_t now = clock_ == TClock::Real ? RealNow() : tick_;
    const std::uint64_t deadline = now + std::max(timeout_ms, 0);
    if (WaitUntil(
            lock, [&] { return wake_; }, timeout_ms < 0 ? nullptr : &deadline))
        wake_ = false;
}

bool THeadlessPlatform::Exhausted() {
    if (clock_ == TClock::Real) return RealNow() >= stop_at_;
    std::lock_guard lock(mutex_);
    return starved_ || tick_ >= stop_at_;
}

void THeadlessPlatform::Sleep(std::uint32_t ms) {
    if (ms == 0) return;
    if (clock_ == TClock::Real) {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        return;
    }
    std::unique_lock lock(mutex_);
    TSleeper sleeper{tick_ + ms};
    sleepers_.push_back(&sleeper);
    --active_threads_;
    changed_.notify_all();
    changed_.wait(lock, [&] { return sleeper.Released; });
}

void THeadlessPlatform::ThreadStarted() {
    std::lock_guard lock(mutex_);
    ++active_threads_;
}

void THeadlessPlatform::ThreadEnded() {
    std::lock_guard lock(mutex_);
    --active_threads_;
    changed_.notify_all();
}

void THeadlessPlatform::ThreadBlocked() {
    std::lock_guard lock(mutex_);
    --active_threads_;
    changed_.notify_all();
}

void THeadlessPlatform::ThreadUnblocked() {
    std::lock_guard lock(mutex_);
    ++active_threads_;
}

TWindowId THeadlessPlatform::CreateWindow(const TWindowParams& params) {
    std::lock_guard lock(mutex_);
    TWindowId id = next_window_++;
    Windows[id] = {params};
    return id;
}

void THeadlessPlatform::DestroyWindow(TWindowId window) {
    std::lock_guard lock(mutex_);
    Windows.erase(window);
    surfaces_.erase(window);
}

void THeadlessPlatform::SetWindowBounds(TWindowId window, const TRect& bounds) {
    std::lock_guard lock(mutex_);
    Windows[window].Params.Bounds = bounds;
}

void THeadlessPlatform::ShowWindow(TWindowId window, bool visible) {
    std::lock_guard lock(mutex_);
    Windows[window].Params.Visible = visible;
    if (visible) focused_ = window;
}

void THeadlessPlatform::SetTopmost(TWindowId window, bool topmost) {
    std::lock_guard lock(mutex_);
    Windows[window].Params.Topmost = topmost;
}

void THeadlessPlatform::SetWindowBorder(TWindowId window, bool border) {
    std::lock_guard lock(mutex_);
    Windows[window].Params.Border = border;
}

void THeadlessPlatform::SetCaption(TWindowId window, const std::string& caption) {
    std::lock_guard lock(mutex_);
    Windows[window].Params.Caption = caption;
}

void THeadlessPlatform::Present(TWindowId window, const TBitmap24& back_buffer, const TRect& area,
                                std::span<const TRect> parts) {
    TRect bounds;
    {
        std::lock_guard lock(mutex_);
        if (const auto it = Windows.find(window); it != Windows.end())
            bounds = it->second.Params.Bounds;
    }
    // A surface's frame as the colours it holds, when anything looks at them.
    TBitmap24 colours;
    if (back_buffer.PixelBytes() != 3 && (HashFrames || OnFrame || KeepFrames)) {
        colours = TBitmap24(back_buffer.Width(), back_buffer.Height(), TBitmap24::kUndefined);
        CopyBitmap(colours, back_buffer);
    }
    const TBitmap24& shown = back_buffer.PixelBytes() == 3 ? back_buffer : colours;
    if (present_log_) present_log_->Presented(window, area);
    TFrame frame{TickCount(),
                 window,
                 area,
                 HashFrames ? HashBitmap(shown) : 0,
                 bounds,
                 {},
                 {parts.begin(), parts.end()}};
    if (OnFrame) OnFrame(frame, shown);
    if (KeepFrames) frame.Image = shown;
    Frames.push_back(std::move(frame));
}

TBitmap24 THeadlessPlatform::WindowSurface(TWindowId window, int width, int height) {
    if (PixelBytes != 4 || width <= 0 || height <= 0) return {};
    TBitmap24& surface = surfaces_[window];
    if (surface.Width() != width || surface.Height() != height)
        surface = TBitmap24(width, height, TBitmap24::kPixels32);
    return TBitmap24::View32(surface.Bits(), width, height, surface.Stride());
}

std::optional<int> THeadlessPlatform::MessageBox(const std::string& text,
                                                 const std::string& caption, int buttons) {
    if (!SystemMessageBoxes) return std::nullopt;
    int answer = kIdOk;
    if (!MessageBoxAnswers.empty()) {
        answer = MessageBoxAnswers.front();
        MessageBoxAnswers.pop_front();
    }
    MessageBoxes.push_back({text, caption, buttons, answer, TickCount()});
    if (ReportMessageBoxes) {
        services_.Log.push_back("message box: " + text);
        std::fprintf(stderr, "message box: %s\n", text.c_str());
    }
    return answer;
}

} // namespace tevrin
