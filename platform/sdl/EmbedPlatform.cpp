// SPDX-License-Identifier: MIT
#include "platform/sdl/EmbedPlatform.h"

#include "base/Errors.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace tevrin {

TXEmbedPlatform::TXEmbedPlatform(TWindowId target) {
    if (!x_.Valid()) throw EError(msg::kNoXDisplay);
    // A Wayland compositor shows Xwayland's windows, never its root.
    if (target == 0 && x_.IsXwayland()) throw EError(msg::kRootNotShown);
    target_ = target != 0 ? target : x_.Root();
    if (!x_.Exists(target_)) throw EError(msg::kNoSuchXWindow, {std::to_string(target_)});
    size_ = x_.ClientRect(target_);
    x_.Watch(target_);
    wake_fd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

TXEmbedPlatform::~TXEmbedPlatform() {
    if (wake_fd_ >= 0) ::close(wake_fd_);
}

void TXEmbedPlatform::Interrupt() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(wake_fd_, &one, sizeof one);
}

bool TXEmbedPlatform::WaitEvent(TEvent& event, int timeout_ms) {
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
        if (TakePending(event)) return true;
        TXDisplay::TChange change;
        while (x_.NextChange(change)) {
            event = {};
            event.Window = first_;
            if (change.Kind == TXDisplay::TChange::Destroyed) {
                // The owner took its window away: as good as being told to end.
                gone_ = true;
                RequestEnd();
                continue;
            }
            if (change.Kind == TXDisplay::TChange::Exposed) {
                event.Kind = TEvent::Expose;
                event.Area = change.Area;
                return true;
            }
            if (change.Area == size_) continue;
            size_ = change.Area;
            event.Kind = TEvent::Resized;
            event.X = size_.Width();
            event.Y = size_.Height();
            return true;
        }
        int wait = -1;
        if (timeout_ms >= 0) {
            const auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(
                std::chrono::steady_clock::now() - start);
            wait = std::max(0, timeout_ms - static_cast<int>(spent.count()));
        }
        pollfd fds[2] = {{wake_fd_, POLLIN, 0}, {x_.Descriptor(), POLLIN, 0}};
        const int ready = ::poll(fds, 2, wait);
        if (ready < 0 && errno != EINTR) return false;
        if (fds[0].revents & POLLIN) {
            std::uint64_t count;
            [[maybe_unused]] const ssize_t n = ::read(wake_fd_, &count, sizeof count);
        }
        if (ready == 0) return TakePending(event);
    }
}

TWindowId TXEmbedPlatform::CreateWindow(const TWindowParams&) {
    const TWindowId id = next_++;
    if (first_ == 0) first_ = id;
    return id;
}

void TXEmbedPlatform::DestroyWindow(TWindowId window) {
    if (window == first_) first_ = 0;
}

void TXEmbedPlatform::Present(TWindowId window, const TBitmap24& back_buffer, const TRect& area,
                              std::span<const TRect>) {
    if (window == first_ && !gone_) x_.Draw(target_, back_buffer, area);
}

std::optional<int> TXEmbedPlatform::MessageBox(const std::string& text, const std::string& caption,
                                               int buttons) {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    return (buttons & 0xF) == kMbYesNo ? kIdNo : kIdOk;
}

} // namespace tevrin
