// SPDX-License-Identifier: MIT
// The measuring mode of the display platforms: with $TEVRIN_PRESENT_LOG
// naming a file, a line per presented frame (milliseconds on a monotonic
// clock, window, left, top, width, height), written as it happens, for
// measuring frame pacing as frames reach the display.
#pragma once

#include "gfx/Rect.h"
#include "ui/Platform.h"

#include <cstdio>

namespace tevrin {

class TPresentLog {
public:
    TPresentLog();
    ~TPresentLog();
    TPresentLog(const TPresentLog&) = delete;
    TPresentLog& operator=(const TPresentLog&) = delete;

    void Presented(TWindowId window, const TRect& area);

private:
    std::FILE* file_ = nullptr;
};

} // namespace tevrin
