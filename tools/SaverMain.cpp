// tevrin-saver: the runtime that `tevrin pack` puts in front of every
// payload. Started with the screen-saver switches it runs its mode on the
// platform it was built for; the options of app/RunOptions.h choose a
// window instead of the full screen, a window to draw into, or a headless
// run on a virtual clock that writes what it showed:
//
//   tevrin-saver [/s | /c | /p HWND | /a HWND]
//   tevrin-saver --window [--size WxH]
//   tevrin-saver --root | --window-id ID
//   tevrin-saver --platform headless --seconds N --dump DIR [--size WxH]
//                [--screens WxH+X+Y,...] [/s]
#include "app/Entry.h"
#include "app/RunOptions.h"
#include "base/Errors.h"
#include "base/Paths.h"
#include "base/System.h"
#include "effects/Random.h"
#include "gfx/Png.h"
#include "platform/headless/HeadlessPlatform.h"

#if defined(TEVRIN_HAVE_WIN32)
#include "platform/win32/Win32Platform.h"
#elif defined(TEVRIN_HAVE_SDL)
#include "platform/sdl/EmbedPlatform.h"
#include "platform/sdl/SdlPlatform.h"
#endif

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace tevrin;

extern "C" void EndOnSignal(int) {
    THeadlessPlatform::RequestEnd();
}

int RunHeadless(const TRunOptions& o) {
    std::vector<TMonitor> monitors = o.Screens;
    if (monitors.empty())
        monitors.push_back({{0, 0, o.Width > 0 ? o.Width : 640, o.Height > 0 ? o.Height : 360}});
    THeadlessPlatform platform(monitors);
    platform.KeepFrames = !o.Dump.empty();
    platform.ReportMessageBoxes = true;
    platform.StopAt(static_cast<std::uint32_t>(o.Seconds) * 1000);
    // SIGTERM ends the run as a key would, so it cleans up after itself.
    std::signal(SIGTERM, EndOnSignal);
    std::signal(SIGINT, EndOnSignal);
    int code;
    {
        TApplication app(platform);
        code = RunSaver(app, o.SaverArgs, ModuleFileName());
        // Failures the saver ends on quietly are told here; message boxes
        // told themselves.
        for (const std::string& failure : app.Failures()) {
            const bool shown =
                std::any_of(platform.MessageBoxes.begin(), platform.MessageBoxes.end(),
                            [&](const auto& box) { return box.Text == failure; });
            if (!shown) {
                std::fprintf(stderr, "tevrin-saver: %s\n", failure.c_str());
                platform.Headless().Log.push_back("error: " + failure);
            }
        }
        if (!app.Failures().empty() && code == 0) code = 1;
    }
    std::signal(SIGTERM, SIG_DFL);
    std::signal(SIGINT, SIG_DFL);
    if (o.Dump.empty()) return code;
    std::filesystem::create_directories(o.Dump);
    // With several monitors each frame's name says whose it is: m1 is the
    // primary monitor, m2 the next one given.
    auto monitor_of = [&](const THeadlessPlatform::TFrame& frame) {
        for (std::size_t i = 0; i < monitors.size(); ++i)
            if (frame.WindowBounds == monitors[i].Bounds) return static_cast<int>(i) + 1;
        return 0;
    };
    char name[64];
    int index = 0;
    for (const auto& frame : platform.Frames) {
        if (monitors.size() > 1)
            std::snprintf(name, sizeof name, "frame-%05d-m%d-t%07u.png", index++, monitor_of(frame),
                          frame.Tick);
        else
            std::snprintf(name, sizeof name, "frame-%05d-t%07u.png", index++, frame.Tick);
        WritePng(JoinPath(o.Dump, name), frame.Image);
    }
    std::ofstream log(JoinPath(o.Dump, "log.txt"));
    for (const std::string& line : platform.Headless().Log)
        log << line << "\n";
    std::printf("%zu frames and log.txt written to %s\n", platform.Frames.size(), o.Dump.c_str());
    return code;
}

int RunNative(const TRunOptions& o) {
#if defined(TEVRIN_HAVE_WIN32)
    TWin32Platform platform;
#elif defined(TEVRIN_HAVE_SDL)
    std::unique_ptr<TPlatform> owned;
    if (o.Embed) {
        owned = std::make_unique<TXEmbedPlatform>(*o.Embed);
    } else {
        TSdlPlatform::TOptions options;
        options.Windowed = o.Windowed;
        if (o.Width > 0) options.Width = o.Width;
        if (o.Height > 0) options.Height = o.Height;
        owned = std::make_unique<TSdlPlatform>(options);
    }
    TPlatform& platform = *owned;
#else
    (void)o;
    std::fprintf(stderr, "tevrin-saver: this build has no display platform; run it with "
                         "--platform headless --seconds N --dump DIR\n");
    return 2;
#endif
#if defined(TEVRIN_HAVE_WIN32) || defined(TEVRIN_HAVE_SDL)
    TApplication app(platform);
    return RunSaver(app, o.SaverArgs, ModuleFileName());
#endif
}

} // namespace

int main(int argc, char** argv) {
    Randomize();
    const TRunOptions options = ParseRunOptions(std::vector<std::string>(argv + 1, argv + argc),
                                                std::getenv("XSCREENSAVER_WINDOW"));
    if (!options.Error.empty()) {
        std::fprintf(stderr, "tevrin-saver: %s\n", options.Error.c_str());
        return 2;
    }
    try {
        return options.Headless ? RunHeadless(options) : RunNative(options);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tevrin-saver: %s\n", e.what());
        return 1;
    }
}
