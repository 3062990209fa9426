// SPDX-License-Identifier: MIT
// A worker thread in the framework's terms: a body, a terminated flag, a
// termination handler run on the user-interface thread when the body ends,
// after which the object releases itself.
#pragma once

#include "ui/Application.h"

#include <atomic>
#include <functional>

namespace tevrin {

class TThread {
public:
    explicit TThread(TApplication& app) : app_(app) {}
    virtual ~TThread() = default;
    TThread(const TThread&) = delete;
    TThread& operator=(const TThread&) = delete;

    // Starts the body; the object deletes itself after OnTerminate has run.
    void Start();
    void Terminate() { terminated_ = true; }
    bool Terminated() const { return terminated_; }

    // Runs on the user-interface thread after the body ends.
    std::function<void()> OnTerminate;
    // -15 (idle) to 15 (time critical); a hint the platform may ignore.
    int Priority = 0;

protected:
    virtual void Execute() = 0;
    void Synchronize(const std::function<void()>& call) { app_.Synchronize(call); }
    void Sleep(std::uint32_t ms) { app_.Platform().Sleep(ms); }
    TApplication& Application() { return app_; }

private:
    void Body();

    TApplication& app_;
    std::atomic<bool> terminated_{false};
};

} // namespace tevrin
