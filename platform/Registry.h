// SPDX-License-Identifier: MIT
// The platforms this build has, chosen by name at start: "headless" (no
// display, a virtual clock) everywhere, and the build's display platform,
// "sdl" on Linux or "win32" on Windows. The one place that knows which
// platforms a build has; a new platform registers here.
#pragma once

#include "ui/Platform.h"

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tevrin {

// What a platform may take from the command line; each uses what applies.
struct TPlatformOptions {
    // sdl: the saver in a normal window of Width x Height (0: a default
    // size) instead of over every monitor.
    bool Windowed = false;
    int Width = 0, Height = 0;
    // sdl: draw into this window of another program (0: the root window).
    std::optional<TWindowId> Embed;
    // headless: its monitors (none: one of Width x Height, or 640 x 360),
    // how long the run lasts, whether that is on the wall clock rather than
    // a virtual one that skips the waits, and the pixel size its windows
    // draw in (4: a window surface, as a display's).
    std::vector<TMonitor> Screens;
    int Seconds = 30;
    bool RealTime = false;
    int PixelBytes = 3;
};

struct TPlatformEntry {
    const char* Name;
    std::unique_ptr<TPlatform> (*Make)(const TPlatformOptions& options);
};

// Every platform of this build; the first is the one a saver starts on.
std::span<const TPlatformEntry> Platforms();
// The platform named so; throws EError naming the platforms there are
// when this build has none of that name, and what the platform throws
// when it cannot start (no display).
std::unique_ptr<TPlatform> MakePlatform(std::string_view name, const TPlatformOptions& options);

} // namespace tevrin
