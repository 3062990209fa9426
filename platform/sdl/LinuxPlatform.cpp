// SPDX-License-Identifier: MIT
#include "platform/sdl/LinuxPlatform.h"

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace tevrin {
namespace {

// The write end of the running platform's signal pipe: a signal handler may
// do nothing but write.
std::atomic<int> g_signal_fd{-1};

void OnSignal(int) {
    const int fd = g_signal_fd.load();
    if (fd >= 0) {
        const char byte = 'q';
        [[maybe_unused]] const ssize_t n = ::write(fd, &byte, 1);
    }
}

} // namespace

TLinuxPlatform::TLinuxPlatform() {
    if (::pipe2(signal_pipe_, O_CLOEXEC) != 0) return;
    g_signal_fd = signal_pipe_[1];
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(sig, &action, nullptr);
    signal_watch_ = std::thread([this] { WatchSignals(); });
}

TLinuxPlatform::~TLinuxPlatform() {
    if (!signal_watch_.joinable()) return;
    // From here on a signal ends the process as it would without us.
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        ::signal(sig, SIG_DFL);
    g_signal_fd = -1;
    const char stop = 's';
    [[maybe_unused]] const ssize_t n = ::write(signal_pipe_[1], &stop, 1);
    signal_watch_.join();
    ::close(signal_pipe_[0]);
    ::close(signal_pipe_[1]);
}

void TLinuxPlatform::WatchSignals() {
    char byte = 0;
    while (::read(signal_pipe_[0], &byte, 1) == 1 && byte == 'q')
        RequestEnd();
}

void TLinuxPlatform::RequestEnd() {
    quit_ = true;
    Wake();
}

std::uint32_t TLinuxPlatform::TickCount() {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start_);
    return static_cast<std::uint32_t>(ms.count());
}

void TLinuxPlatform::Wake() {
    {
        std::lock_guard lock(mutex_);
        wake_ = true;
    }
    woken_.notify_all();
    Interrupt();
}

void TLinuxPlatform::WaitWake(int timeout_ms) {
    std::unique_lock lock(mutex_);
    auto woken = [this] { return wake_; };
    if (timeout_ms < 0)
        woken_.wait(lock, woken);
    else
        woken_.wait_for(lock, std::chrono::milliseconds(timeout_ms), woken);
    wake_ = false;
}

void TLinuxPlatform::Sleep(std::uint32_t ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void TLinuxPlatform::PostWork(std::function<void()> call) {
    {
        std::lock_guard lock(mutex_);
        work_.push_back(std::move(call));
    }
    Wake();
}

bool TLinuxPlatform::TakePending(TEvent& event) {
    if (quit_ && !quit_delivered_) {
        quit_delivered_ = true;
        event = {};
        event.Kind = TEvent::Quit;
        return true;
    }
    std::lock_guard lock(mutex_);
    if (!work_.empty()) {
        event = {};
        event.Kind = TEvent::Work;
        event.Call = std::move(work_.front());
        work_.pop_front();
        return true;
    }
    if (wake_) {
        wake_ = false;
        event = {};
        event.Kind = TEvent::Wake;
        return true;
    }
    return false;
}

} // namespace tevrin
