// The `tevrin` command line: pack pictures and sounds into a saver, look
// inside a saver or a bare component stream.
#include "gfx/Errors.h"
#include "payload/Font.h"
#include "payload/IntConv.h"
#include "payload/Paths.h"
#include "tools/Bench.h"
#include "tools/Pack.h"
#include "tools/Render.h"
#include "tools/Report.h"
#include "tools/XScreensaverConfig.h"
#include "ui/System.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

namespace tevrin {
namespace {

namespace fs = std::filesystem;

#ifdef _WIN32
constexpr const char* kHostTarget = "windows";
#else
constexpr const char* kHostTarget = "linux";
#endif

// A manifest is a JSON object whose keys are pack's long option names
// ("title", "interval", "sound", ...) and "pictures"; it becomes arguments
// placed before the command line's own, so the command line wins. Relative
// paths count from the manifest's folder.
std::vector<std::string> ManifestArguments(const std::string& path) {
    std::ifstream in(path);
    if (!in) throw EError(msg::kCannotOpenFile, {path});
    nlohmann::json manifest = nlohmann::json::parse(in);
    if (!manifest.is_object()) throw EError("The manifest must be a JSON object: " + path);
    fs::path base = fs::path(path).parent_path();
    auto file = [&](const nlohmann::json& v) {
        fs::path p(v.get<std::string>());
        return (p.is_absolute() ? p : base / p).string();
    };
    static const std::set<std::string> kFileKeys = {"sound", "movie", "stub"};
    std::vector<std::string> args, pictures;
    for (const auto& [key, value] : manifest.items()) {
        if (key == "pictures") {
            for (const auto& p : value)
                pictures.push_back(file(p));
            continue;
        }
        std::vector<nlohmann::json> values =
            value.is_array() ? value.get<std::vector<nlohmann::json>>() : std::vector{value};
        for (const auto& v : values) {
            if (v.is_boolean()) {
                if (v.get<bool>()) args.push_back("--" + key);
                continue;
            }
            args.push_back("--" + key);
            args.push_back(kFileKeys.count(key) ? file(v)
                           : v.is_string()      ? v.get<std::string>()
                                                : v.dump());
        }
    }
    args.insert(args.end(), pictures.begin(), pictures.end());
    return args;
}

TColor ParseColor(const std::string& text) {
    if (auto named = IdentValue(ColorNames(), text)) return *named;
    if (text.size() == 7 && text[0] == '#') {
        std::int32_t rgb;
        if (TryStrToInt("$" + text.substr(1), rgb))
            return RGBColor((rgb >> 16) & 255, (rgb >> 8) & 255, rgb & 255);
    }
    std::int32_t value;
    if (TryStrToInt(text, value)) return value;
    throw CLI::ValidationError("--font-color", "not a colour name, #RRGGBB or number: " + text);
}

std::uint8_t ParseStyle(const std::string& text) {
    std::uint8_t style = 0;
    std::stringstream list(text);
    for (std::string item; std::getline(list, item, ',');) {
        if (item == "bold")
            style |= fsBold;
        else if (item == "italic")
            style |= fsItalic;
        else if (item == "underline")
            style |= fsUnderline;
        else if (item == "strikeout")
            style |= fsStrikeOut;
        else if (!item.empty())
            throw CLI::ValidationError("--font-style", "unknown style " + item);
    }
    return style;
}

struct TPackArgs {
    TPackJob job;
    std::string target = kHostTarget;
    std::string manifest;
    std::string font_color, font_style, sound_order = "list", kind = "photo";
    int font_size = 0;
    bool quiet = false;
    bool xscreensaver_config = false;
};

void AddPackOptions(CLI::App& pack, TPackArgs& a) {
    TSSFileLocations& r = a.job.Record;
    pack.add_option("-o,--output", a.job.Output, "The saver file to write")->required();
    // Repeatable options take one value each time and keep them all; every
    // other option keeps its last value, so the command line overrides a
    // manifest.
    auto repeatable = [](CLI::Option* option) {
        option->expected(1)->allow_extra_args(false)->multi_option_policy(
            CLI::MultiOptionPolicy::TakeAll);
        option->check(CLI::ExistingFile);
    };
    pack.add_option("pictures", a.job.Pictures, "JPEG or PNG pictures, in show order")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->check(CLI::ExistingFile);
    pack.add_option("--manifest", a.manifest, "A JSON file of these options and \"pictures\"");
    pack.add_option("--target", a.target, "The runtime stub's platform")
        ->check(CLI::IsMember({"windows", "linux"}));
    pack.add_option("--stub", a.job.Stub, "The runtime executable (default: beside this tool)")
        ->check(CLI::ExistingFile);
    repeatable(pack.add_option("--sound", a.job.Sounds, "A background sound (repeatable)"));
    repeatable(pack.add_option("--movie", a.job.Movies, "A movie (repeatable)"));
    pack.add_option("--title", r.Title, "The saver's name");
    pack.add_option("--author", r.Author, "Author line of the settings dialog");
    pack.add_option("--email", r.Email, "E-mail link, opened as it stands (mailto:...)");
    pack.add_option("--web", r.Web, "Web link");
    pack.add_option("--text", r.Text, "Caption drawn on every other picture");
    pack.add_option("--font-name", r.TextFont.Name, "Caption font face");
    pack.add_option("--font-size", a.font_size, "Caption size in points")
        ->check(CLI::Range(1, 500));
    pack.add_option("--font-color", a.font_color, "Caption colour: clRed, #RRGGBB or a number");
    pack.add_option("--font-style", a.font_style, "bold,italic,underline,strikeout");
    pack.add_option("--interval", r.Interval, "Milliseconds between pictures")
        ->check(CLI::NonNegativeNumber);
    pack.add_flag("--random-style", r.lRandomStyle, "Transitions at random");
    pack.add_flag("--random-picture", r.lRandomPic, "Pictures at random");
    pack.add_flag("--clear-old-image", r.lClearOldImage,
                  "Clear the old image before each transition");
    pack.add_option("--sound-order", a.sound_order, "list, random or repeat-one")
        ->check(CLI::IsMember({"list", "random", "repeat-one"}));
    pack.add_flag("--mute", r.lMute, "No background sound unless the user turns it on");
    pack.add_option("--kind", a.kind, "photo or flash")->check(CLI::IsMember({"photo", "flash"}));
    pack.add_flag("--xscreensaver-config", a.xscreensaver_config,
                  "Also write NAME.xml beside the saver, listing it in xscreensaver's settings");
    pack.add_flag("-q,--quiet", a.quiet, "No progress");
}

int RunPack(TPackArgs& a) {
    TSSFileLocations& r = a.job.Record;
    if (a.font_size > 0) r.TextFont.SetSize(a.font_size);
    if (!a.font_color.empty()) r.TextFont.Color = ParseColor(a.font_color);
    if (!a.font_style.empty()) r.TextFont.Style = ParseStyle(a.font_style);
    r.SoundRandom = a.sound_order == "random" ? 2 : a.sound_order == "repeat-one" ? 3 : 1;
    r.Ver = a.kind;
    if (a.job.Stub.empty()) {
        std::string stub = a.target == "windows" ? "tevrin-saver.exe" : "tevrin-saver";
        a.job.Stub = ExtractFilePath(ModuleFileName()) + stub;
        if (!fs::exists(a.job.Stub))
            throw EError("No runtime stub " + a.job.Stub + "; name one with --stub");
    }
    const std::string output = a.job.Output;
    const TSSFileLocations texts = r;
    const int pictures = static_cast<int>(a.job.Pictures.size());
    PackSaver(std::move(a.job), [&](int done, int total, const std::string& what) {
        if (!a.quiet) std::fprintf(stderr, "[%d/%d] %s\n", done + 1, total, what.c_str());
    });
    if (a.xscreensaver_config) {
        const std::string program = ExtractFileName(output);
        // The daemon's list of programs is split at blanks.
        if (program.find_first_of(" \t") != std::string::npos)
            std::fprintf(
                stderr,
                "warning: xscreensaver cannot start \"%s\"; name the saver without blanks\n",
                program.c_str());
        const std::string xml_path = XScreensaverConfigPath(output);
        std::ofstream xml(xml_path, std::ios::binary);
        xml << XScreensaverConfig(texts, pictures, program);
        if (!xml.flush()) throw EError("Cannot create file " + xml_path);
        if (!a.quiet) std::fprintf(stderr, "wrote %s\n", xml_path.c_str());
    }
    return 0;
}

int Main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    // A manifest's options go first, so the command line's own win.
    for (std::size_t i = 0; i + 1 < args.size(); ++i)
        if (args[i] == "--manifest") {
            std::vector<std::string> extra = ManifestArguments(args[i + 1]);
            args.insert(args.begin() + 1, extra.begin(), extra.end());
            break;
        }

    CLI::App app("Tevrin: packs pictures and sounds into a slide-show screen saver", "tevrin");
    app.require_subcommand(1);
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);

    TPackArgs pack_args;
    CLI::App* pack = app.add_subcommand("pack", "Write a finished saver");
    AddPackOptions(*pack, pack_args);

    std::string saver, stream;
    bool as_json = false;
    CLI::App* inspect = app.add_subcommand("inspect", "Show what a saver or a stream holds");
    inspect->add_option("saver", saver, "A saver file")->check(CLI::ExistingFile);
    inspect->add_option("--stream", stream, "A bare component stream instead")
        ->check(CLI::ExistingFile);
    inspect->add_flag("--json", as_json, "JSON output");

    TRenderJob render_job;
    std::string size = "1024x768";
    std::uint32_t seed = 0;
    CLI::App* render = app.add_subcommand("render", "Draw frames of a transition as PNG files");
    render->add_option("--style", render_job.Style, "Transition style")->check(CLI::Range(0, 255));
    render->add_option("--progress", render_job.Progress, "Share of the transition done, 0..100")
        ->check(CLI::Range(0, 100));
    render->add_option("--from", render_job.From, "The old picture (JPEG or PNG; default black)")
        ->check(CLI::ExistingFile);
    render->add_option("--to", render_job.To, "The new picture (JPEG or PNG)")
        ->required()
        ->check(CLI::ExistingFile);
    render->add_option("--size", size, "Screen size WxH the pictures are centred on");
    render->add_option("-o,--output", render_job.Output, "The PNG file to write")->required();
    render->add_flag("--sheet", render_job.Sheet, "One style at progress 0, 10, ..., 100");
    render->add_flag("--all", render_job.All, "Every style at one progress, labelled");
    CLI::Option* seed_option = render->add_option("--seed", seed, "Seed of the random styles");

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

    std::reverse(args.begin(), args.end());
    try {
        app.parse(args);
    } catch (const CLI::ParseError& e) {
        return app.exit(e);
    }

    if (*pack) return RunPack(pack_args);
    if (*bench) {
        for (const std::string& text : bench_sizes) {
            int w = 0, h = 0;
            if (std::sscanf(text.c_str(), "%dx%d", &w, &h) != 2 || w < 16 || h < 16)
                throw EError("--size takes WxH, for example 1920x1080");
            bench_job.Sizes.emplace_back(w, h);
        }
        return RunBench(bench_job, stdout) ? 0 : 3;
    }
    if (*render) {
        if (std::sscanf(size.c_str(), "%dx%d", &render_job.Width, &render_job.Height) != 2)
            throw EError("--size takes WxH, for example 1920x1080");
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
