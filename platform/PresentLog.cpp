// SPDX-License-Identifier: MIT
#include "platform/PresentLog.h"

#include <chrono>
#include <cstdlib>

namespace tevrin {

TPresentLog::TPresentLog() {
    if (const char* path = std::getenv("TEVRIN_PRESENT_LOG"); path != nullptr && *path != 0)
        if ((file_ = std::fopen(path, "w")) != nullptr)
            std::setvbuf(file_, nullptr, _IOLBF, 256); // readable as it runs
}

TPresentLog::~TPresentLog() {
    if (file_ != nullptr) std::fclose(file_);
}

void TPresentLog::Presented(TWindowId window, const TRect& area) {
    if (file_ == nullptr) return;
    const double ms = std::chrono::duration<double, std::milli>(
                          std::chrono::steady_clock::now().time_since_epoch())
                          .count();
    std::fprintf(file_, "%.3f %lld %d %d %d %d\n", ms, static_cast<long long>(window), area.Left,
                 area.Top, area.Width(), area.Height());
}

} // namespace tevrin
