// SPDX-License-Identifier: MIT
#include "ui/Thread.h"

#include <thread>

namespace tevrin {

void TThread::Start() {
    app_.ThreadStarting();
    app_.Platform().ThreadStarted();
    std::thread(&TThread::Body, this).detach();
}

void TThread::Body() {
    try {
        Execute();
    } catch (...) {
        // The body's errors end the thread; the handler below still runs.
    }
    if (OnTerminate) {
        try {
            app_.Synchronize(OnTerminate);
        } catch (...) {
        }
    }
    TApplication& app = app_;
    delete this;
    app.Platform().Wake();
    app.Platform().ThreadEnded();
    app.ThreadFinished();  // the last touch: the application may go now
}

} // namespace tevrin
