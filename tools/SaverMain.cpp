// tevrin-saver: the runtime that `tevrin pack` puts in front of every
// payload. Started with the screen-saver switches it runs its mode on the
// platform it was built for; `--platform headless` runs it without a display
// on a virtual clock and writes what it showed:
//
//   tevrin-saver [/s | /c | /p HWND | /a HWND]
//   tevrin-saver --platform headless --seconds N --dump DIR [--size WxH] [/s]
#include "app/Entry.h"
#include "effects/Random.h"
#include "gfx/Errors.h"
#include "gfx/Png.h"
#include "payload/Paths.h"
#include "platform/headless/HeadlessPlatform.h"
#include "ui/System.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using namespace tevrin;

int RunHeadless(const std::vector<std::string>& saver_args, int seconds, const std::string& dump,
                int width, int height) {
    THeadlessPlatform platform(width, height);
    platform.KeepFrames = !dump.empty();
    platform.StopAt(static_cast<std::uint32_t>(seconds) * 1000);
    int code;
    {
        TApplication app(platform);
        code = RunSaver(app, saver_args, ModuleFileName());
    }
    if (dump.empty()) return code;
    std::filesystem::create_directories(dump);
    char name[64];
    int index = 0;
    for (const auto& frame : platform.Frames) {
        std::snprintf(name, sizeof name, "frame-%05d-t%07u.png", index++, frame.Tick);
        WritePng(JoinPath(dump, name), frame.Image);
    }
    std::ofstream log(JoinPath(dump, "log.txt"));
    for (const std::string& line : platform.Headless().Log) log << line << "\n";
    std::printf("%zu frames and log.txt written to %s\n", platform.Frames.size(), dump.c_str());
    return code;
}

} // namespace

int main(int argc, char** argv) {
    Randomize();
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string platform, dump;
    int seconds = 30, width = 640, height = 360;
    std::vector<std::string> saver_args;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool has_value = i + 1 < args.size();
        if (a == "--platform" && has_value) platform = args[++i];
        else if (a == "--seconds" && has_value) seconds = std::max(1, std::atoi(args[++i].c_str()));
        else if (a == "--dump" && has_value) dump = args[++i];
        else if (a == "--size" && has_value) std::sscanf(args[++i].c_str(), "%dx%d", &width, &height);
        else saver_args.push_back(a);
    }
    try {
        if (platform == "headless") {
            if (saver_args.empty()) saver_args.push_back("/S");
            return RunHeadless(saver_args, seconds, dump, std::max(width, 16), std::max(height, 16));
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tevrin-saver: %s\n", e.what());
        return 1;
    }
    std::fprintf(stderr,
                 "tevrin-saver: this build has no display platform yet; run it with "
                 "--platform headless --seconds N --dump DIR\n");
    return 2;
}
