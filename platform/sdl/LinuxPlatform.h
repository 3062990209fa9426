// SPDX-License-Identifier: MIT
// What the Linux platforms share: the clock, waking the interface thread
// from other threads, work handed to it (a sound's end), the end asked for
// by a signal, and the services. TSdlPlatform shows our own windows;
// TXEmbedPlatform draws into a window another program gives us.
#pragma once

#include "platform/SystemText.h"
#include "platform/sdl/LinuxServices.h"
#include "ui/Platform.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace tevrin {

class TLinuxPlatform : public TPlatform {
public:
    TLinuxPlatform();
    ~TLinuxPlatform() override;

    std::uint32_t TickCount() override;
    void Wake() override;
    void WaitWake(int timeout_ms) override;
    void Sleep(std::uint32_t ms) override;
    TServices& Services() override { return services_; }
    TTextEngine& Text() override { return *text_; }
    TLinuxServices& Linux() { return services_; }

    // Runs `call` on the interface thread, through WaitEvent; any thread.
    void PostWork(std::function<void()> call);

protected:
    // Breaks a wait of WaitEvent in progress; any thread.
    virtual void Interrupt() = 0;
    // What is waiting apart from the window system's own events: the end
    // asked for by SIGTERM, SIGINT or SIGHUP (closing the main form, so the
    // run cleans up as after a key), handed work, a wake.
    bool TakePending(TEvent& event);
    // Ends the run as a signal would; any thread.
    void RequestEnd();

private:
    void WatchSignals();

    const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    std::mutex mutex_;
    std::condition_variable woken_;
    bool wake_ = false;
    std::deque<std::function<void()>> work_;
    std::atomic<bool> quit_{false};
    bool quit_delivered_ = false;
    int signal_pipe_[2] = {-1, -1};
    std::thread signal_watch_;
    TLinuxServices services_{*this};
    std::unique_ptr<TTextEngine> text_ = MakeSystemTextEngine();
};

} // namespace tevrin
