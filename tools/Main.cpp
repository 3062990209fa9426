// SPDX-License-Identifier: MIT
// The `tevrin` command line: pack pictures and sounds into a saver, look
// inside a saver or a bare component stream.
#include "base/Errors.h"
#include "base/IntConv.h"
#include "base/Paths.h"
#include "base/Sizes.h"
#include "base/System.h"
#include "base/Unicode.h"
#include "effects/Effects.h"
#include "effects/Styles.h"
#include "payload/Font.h"
#include "payload/TempFolder.h"
#include "tools/Bench.h"
#include "tools/Install.h"
#include "tools/Notices.h"
#include "tools/Pack.h"
#include "tools/PackCommand.h"
#include "tools/Render.h"
#include "tools/Report.h"
#include "tools/Runtime.h"
#include "tools/Show.h"
#include "tools/XScreensaverConfig.h"
#include "tools/studio/Project.h"
#include "tools/studio/Server.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <thread>

namespace tevrin {
namespace {

namespace fs = std::filesystem;

// The address carries the session's token, and any user may read the
// arguments of any process: the browser is handed a page that leads there,
// in a folder only this user may enter, instead of the address itself.
int RunStudio(const std::string& project, int port, bool open_browser) {
    // What a refused upload or a large picture took goes back at once.
    ReturnLargeBlocksAtOnce();
    const std::string manifest = studio::ProjectManifestPath(project);
    TTempFolder::RemoveStale();
    TTempFolder folder;
    auto open = [&](const std::string& address) {
        if (!open_browser) return;
        bool opened = false;
        try {
            opened = OpenInBrowser(studio::WriteOpeningPage(address, folder));
        } catch (const EError& e) {
            std::fprintf(stderr, "%s\n", e.what());
        }
        if (!opened) std::fprintf(stderr, "Open the address above in your web browser.\n");
    };
    // One Studio a project: a second start sends the browser to the first.
    if (const std::optional<std::string> running = studio::RunningStudioAddress(manifest)) {
        std::printf("%s\n", Format(msg::kStudioRunsAt, {*running}).c_str());
        std::fflush(stdout);
        // The page that leads there stays for the browser to read; a later
        // start clears it away (RemoveStale).
        open(*running);
        return 0;
    }
    studio::TStudioServer server({manifest, port, ""});
    std::printf("Tevrin Studio is at %s\n", server.Address().c_str());
    std::printf("Project: %s\n", manifest.c_str());
    std::printf("Keep this window open while you work; Ctrl+C ends the Studio.\n");
    std::fflush(stdout);
    open(server.Address());
    server.Run();
    folder.Remove();
    return 0;
}

int Main(int argc, char** argv) {
    std::vector<std::string> args = ProgramArguments(argc, argv);
#if defined(_WIN32)
    // Started without a command (a double click): the Studio on the project
    // in Documents, in the browser, with no console window left open. The
    // page's Close button ends it.
    if (args.empty()) {
        const bool detached = LeaveOwnConsole();
        try {
            return RunStudio("", 0, true);
        } catch (const std::exception& e) {
            if (detached) ShowErrorBox("Tevrin Studio", e.what());
            throw;
        }
    }
#endif
    TPackArgs pack_args;

    CLI::App app("Tevrin: packs pictures and sounds into a slide-show screen saver", "tevrin");
    app.require_subcommand(1);
    app.set_version_flag("--version", std::string("tevrin ") + TEVRIN_VERSION);
    // Printed before the subcommand is asked for.
    app.add_flag_callback(
        "--licenses",
        [] {
            for (const TNoticeFile& file : NoticeFiles()) {
                std::fwrite(file.Text.data(), 1, file.Text.size(), stdout);
                std::fputs("\n", stdout);
            }
            throw CLI::Success();
        },
        "Print our licence and the notices of the libraries the tool and its savers use");
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);

    CLI::App* pack = app.add_subcommand("pack", "Write a finished saver");
    AddPackOptions(*pack, pack_args);

    std::string saver, stream;
    bool as_json = false;
    CLI::App* inspect = app.add_subcommand("inspect", "Show what a saver or a stream holds");
    inspect->add_option("saver", saver, "A saver file")->check(kRegularFile);
    inspect->add_option("--stream", stream, "A bare component stream instead")->check(kRegularFile);
    inspect->add_flag("--json", as_json, "JSON output");

    TRenderJob render_job;
    std::string size = "1024x768";
    std::uint32_t seed = 0;
    CLI::App* render = app.add_subcommand("render", "Draw frames of a transition as PNG files");
    render->add_option("--style", render_job.Style, "Transition style")->check(CLI::Range(0, 255));
    render->add_option("--progress", render_job.Progress, "Share of the transition done, 0..100")
        ->check(CLI::Range(0, 100));
    render->add_option("--from", render_job.From, "The old picture (JPEG or PNG; default black)")
        ->check(kRegularFile);
    render->add_option("--to", render_job.To, "The new picture (JPEG or PNG)")->check(kRegularFile);
    render->add_option("--size", size, "Screen size WxH the pictures are centred on");
    render->add_option("-o,--output", render_job.Output, "The PNG file to write");
    render->add_flag("--sheet", render_job.Sheet, "One style at progress 0, 10, ..., 100");
    render->add_flag("--all", render_job.All, "Every style at one progress, labelled");
    CLI::Option* seed_option = render->add_option("--seed", seed, "Seed of the random styles");
    bool list_styles = false;
    render->add_flag("--list", list_styles, "List every style by number, name and family");

    TBenchJob bench_job;
    std::vector<std::string> bench_sizes;
    CLI::App* bench =
        app.add_subcommand("bench", "Time every style's frames against a memcpy floor");
    bench->add_option("--size", bench_sizes, "Frame sizes WxH (default 1920x1080 and 3840x2160)")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    bench->add_option("--style", bench_job.Styles, "Styles to time (default all)")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->check(CLI::Range(0, 127));
    bench
        ->add_option("--repetitions", bench_job.Repetitions,
                     "Runs of each frame; the fastest counts")
        ->check(CLI::Range(1, 100));

    std::string project;
    int port = 0;
    bool no_browser = false;
    CLI::App* studio = app.add_subcommand(
        "studio", "Make a saver in your web browser: pictures, choices, transitions, preview");
    studio->add_option(
        "project", project,
        "A project file (JSON, as --manifest reads it) or its folder; default: "
        "the folder \"Tevrin Studio\" in your home folder (in Documents on Windows)");
    studio->add_option("--port", port, "The port on 127.0.0.1 (default: a free one)")
        ->check(CLI::Range(1, 65535));
    studio->add_flag("--no-browser", no_browser, "Do not open the page in the web browser");

    TShowJob show_job;
    std::string show_size, show_platform, show_dump, show_screens, show_keys;
    int show_seconds = 0;
    CLI::App* show = app.add_subcommand(
        "show", "Play folders, pictures, a saver or a manifest in a window or full screen (keys: "
                "right and left for the next and previous picture, Space to pause, F for full "
                "screen, Escape or Q to end)");
    AddPackOptions(*show, show_job.Pack, true);
    show->add_flag("--full-screen", show_job.FullScreen, "Full screen on the primary monitor");
    show->add_option("--size", show_size,
                     "The window's size WxH (default: two thirds of the "
                     "screen's)");
    show->add_option("--platform", show_platform, "Run on this platform (headless: no display)")
        ->group("Testing");
    show->add_option("--seconds", show_seconds, "A headless run's length")->group("Testing");
    show->add_option("--dump", show_dump, "A headless run writes its frames here")
        ->group("Testing");
    show->add_option("--desktop", show_screens, "A headless run's monitors WxH+X+Y,...")
        ->group("Testing");
    show->add_option("--keys", show_keys, "Keys a headless run presses: MS:KEY,...")
        ->group("Testing");

    TInstallJob install_job;
    CLI::App* install = app.add_subcommand(
        "install", "Make a saver your screen saver (xscreensaver on Linux), without root");
    install->add_option("saver", install_job.Saver, "The saver file")
        ->required()
        ->check(kRegularFile);
    install->add_flag("--only", install_job.Only,
                      "Linux: the only saver xscreensaver runs (else one among its others)");
    std::string uninstall_name;
    CLI::App* uninstall = app.add_subcommand(
        "uninstall", "Remove an installed saver and put back the choice it replaced");
    uninstall->add_option("name", uninstall_name, "The installed saver's file name")->required();

    std::reverse(args.begin(), args.end());
    try {
        app.parse(args);
    } catch (const CLI::ParseError& e) {
        return app.exit(e);
    }

    if (*pack) return RunPack(PackValuesOf(pack_args));
    if (*show) {
        const std::pair<const char*, std::string> passed[] = {
            {"--size", show_size},
            {"--platform", show_platform},
            {"--dump", show_dump},
            {"--screens", show_screens},
            {"--keys", show_keys},
            {"--seconds", show_seconds > 0 ? std::to_string(show_seconds) : ""}};
        for (const auto& [name, value] : passed)
            if (!value.empty())
                show_job.RunOptions.insert(show_job.RunOptions.end(), {name, value});
        return RunShow(show_job);
    }
    if (*studio) return RunStudio(project, port, !no_browser);
    if (*install) {
        RunInstall(install_job, stdout);
        return 0;
    }
    if (*uninstall) {
        RunUninstall(uninstall_name, stdout);
        return 0;
    }
    if (*bench) {
        for (const std::string& text : bench_sizes) {
            const std::optional<TSize> size = ParseSize(text, 16);
            if (!size) throw EError(msg::kSizeArgument);
            bench_job.Sizes.emplace_back(size->Width, size->Height);
        }
        return RunBench(bench_job, stdout) ? 0 : 3;
    }
    if (*render) {
        if (list_styles) {
            for (const TStyleInfo& style : StyleTable())
                std::printf("%s\n", StyleTitle(style).c_str());
            return 0;
        }
        if (render_job.To.empty() || render_job.Output.empty()) throw EError(msg::kRenderNeeds);
        // A side of 0 is the renderer's to refuse, with the sizes it takes.
        const std::optional<TSize> parsed = ParseSize(size, 0);
        if (!parsed) throw EError(msg::kSizeArgument);
        render_job.Width = parsed->Width;
        render_job.Height = parsed->Height;
        if (seed_option->count() > 0) render_job.Seed = seed;
        Render(render_job);
        return 0;
    }
    if (stream.empty() == saver.empty()) {
        std::fprintf(stderr, "inspect: name a saver file or --stream FILE\n");
        return 2;
    }
    nlohmann::ordered_json result = stream.empty() ? InspectSaver(saver) : InspectStream(stream);
    // Every text of a record is UTF-8 already; a file name given by the
    // system may not be.
    std::string text =
        as_json ? result.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n"
        : stream.empty() ? SaverReport(result)
                         : StreamReport(result);
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
}

} // namespace
} // namespace tevrin

int main(int argc, char** argv) {
    try {
        return tevrin::Main(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tevrin: %s\n", e.what());
        return 1;
    }
}
