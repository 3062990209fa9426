// SPDX-License-Identifier: MIT
// tevrin-saver: the runtime that `tevrin pack` puts in front of every
// payload. Started with the screen-saver switches it runs its mode on the
// display platform of its build; the options of app/RunOptions.h choose a
// window instead of the full screen, a window to draw into, or another
// platform by name, such as a headless run on a virtual clock that writes
// what it showed:
//
//   tevrin-saver [/s | /c | /p HWND | /a HWND]
//   tevrin-saver --window [--size WxH]
//   tevrin-saver --root | --window-id ID
//   tevrin-saver --platform headless --seconds N --dump DIR [--size WxH]
//                [--screens WxH+X+Y,...] [/s]
//   tevrin-saver --player [--full-screen] [--size WxH] [--keys MS:KEY,...]
#include "app/Entry.h"
#include "app/RunOptions.h"
#include "base/Errors.h"
#include "base/Paths.h"
#include "base/System.h"
#include "effects/Random.h"
#include "gfx/Png.h"
#include "platform/Registry.h"
#include "platform/headless/HeadlessPlatform.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace tevrin;

// A headless run tells the failures the saver ended on quietly (message
// boxes told themselves) and ends with 1 after any; with --dump it writes
// what it showed.
int ReportFailures(THeadlessPlatform& platform, const TApplication& app, int code) {
    for (const std::string& failure : app.Failures()) {
        const bool shown = std::any_of(platform.MessageBoxes.begin(), platform.MessageBoxes.end(),
                                       [&](const auto& box) { return box.Text == failure; });
        if (!shown) {
            std::fprintf(stderr, "tevrin-saver: %s\n", failure.c_str());
            platform.Headless().Log.push_back("error: " + failure);
        }
    }
    return !app.Failures().empty() && code == 0 ? 1 : code;
}

// Writes each frame to `dump` as it is presented, so a long run's memory
// does not grow with its frames. With several monitors each frame's name
// says whose it is: m1 is the primary monitor, m2 the next one given.
void DumpFramesAsTheyCome(THeadlessPlatform& platform, const std::string& dump) {
    std::filesystem::create_directories(dump);
    platform.OnFrame = [&platform, dump, monitors = platform.Monitors(), index = 0](
                           const THeadlessPlatform::TFrame& frame, const TBitmap24& image) mutable {
        char name[64];
        if (monitors.size() > 1) {
            int monitor = 0;
            for (std::size_t i = 0; i < monitors.size(); ++i)
                if (frame.WindowBounds == monitors[i].Bounds) monitor = static_cast<int>(i) + 1;
            std::snprintf(name, sizeof name, "frame-%05d-m%d-t%07u.png", index++, monitor,
                          frame.Tick);
        } else {
            std::snprintf(name, sizeof name, "frame-%05d-t%07u.png", index++, frame.Tick);
        }
        WritePng(JoinPath(dump, name), image);
    };
}

void WriteLog(THeadlessPlatform& platform, const std::string& dump) {
    std::ofstream log(JoinPath(dump, "log.txt"));
    for (const std::string& line : platform.Headless().Log)
        log << line << "\n";
    // Where the virtual clock stood when the run ended.
    log << "ran " << platform.TickCount() << " ms\n";
    std::printf("%zu frames and log.txt written to %s\n", platform.Frames.size(), dump.c_str());
}

int Run(const TRunOptions& o) {
    TPlatformOptions options;
    options.Windowed = o.Windowed && !o.Player;
    // The player's size is its window's, not the screen's.
    if (!o.Player) {
        options.Width = o.Width;
        options.Height = o.Height;
    }
    options.Embed = o.Embed;
    options.Screens = o.Screens;
    options.Seconds = o.Seconds;
    options.RealTime = o.RealTime;
    options.PixelBytes = o.PixelBytes;
    const std::unique_ptr<TPlatform> platform =
        MakePlatform(o.Platform.empty() ? Platforms().front().Name : o.Platform, options);
    auto* headless = dynamic_cast<THeadlessPlatform*>(platform.get());
    if (headless && !o.Dump.empty()) DumpFramesAsTheyCome(*headless, o.Dump);
    if (headless)
        for (const TRunOptions::TKeyPress& press : o.Keys) {
            TEvent key;
            key.Key = press.Key;
            key.Kind = TEvent::KeyDown;
            headless->Script(press.At, key);
            key.Kind = TEvent::KeyUp;
            headless->Script(press.At, key);
        }
    int code;
    {
        TApplication app(*platform);
        code = o.Player ? RunPlayer(app, ModuleFileName(), {o.FullScreen, o.Width, o.Height})
                        : RunSaver(app, o.SaverArgs, ModuleFileName());
        if (headless) code = ReportFailures(*headless, app, code);
    }
    if (headless && !o.Dump.empty()) WriteLog(*headless, o.Dump);
    return code;
}

} // namespace

int main(int argc, char** argv) {
    ReturnLargeBlocksAtOnce();
    Randomize();
    const TRunOptions options = ParseRunOptions(std::vector<std::string>(argv + 1, argv + argc),
                                                std::getenv("XSCREENSAVER_WINDOW"));
    if (!options.Error.empty()) {
        std::fprintf(stderr, "tevrin-saver: %s\n", options.Error.c_str());
        return 2;
    }
    try {
        return Run(options);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tevrin-saver: %s\n", e.what());
        return 1;
    }
}
