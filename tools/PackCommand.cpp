// `tevrin pack`: its options, manifests, and the job they describe.
#include "tools/PackCommand.h"

#include "base/Errors.h"
#include "base/IntConv.h"
#include "base/Paths.h"
#include "base/Sizes.h"
#include "base/System.h"
#include "base/Unicode.h"
#include "effects/Effects.h"
#include "gfx/PhotoFacts.h"
#include "payload/Font.h"
#include "show/Choices.h"
#include "tools/Runtime.h"
#include "tools/XScreensaverConfig.h"

#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

namespace tevrin {

namespace fs = std::filesystem;

namespace {

constexpr const char* kNewCaptionFace = "Arial";
constexpr int kNewCaptionPoints = 24;

} // namespace

nlohmann::json ParseJsonText(std::string_view text, const std::string& what) {
    using nlohmann::json;
    // Thrown from inside the parser, so a deep document is never built (its
    // copies and its destruction would recurse as deep as it nests).
    struct TTooDeep {};
    const json::parser_callback_t limit = [](int depth, json::parse_event_t event, json&) {
        if (depth > kMaxJsonDepth && (event == json::parse_event_t::object_start ||
                                      event == json::parse_event_t::array_start))
            throw TTooDeep{};
        return true;
    };
    try {
        return json::parse(text.begin(), text.end(), limit);
    } catch (const TTooDeep&) {
        throw EError(msg::kJsonTooDeep, {what, std::to_string(kMaxJsonDepth)});
    } catch (const json::parse_error& e) {
        throw EError(msg::kJsonBroken, {what, e.what()});
    }
}

TManifestArgs ManifestArguments(const std::string& path) {
    const std::vector<std::uint8_t> bytes = ReadFileBytes(path);
    const nlohmann::json manifest = ParseJsonText(
        std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), path);
    if (!manifest.is_object()) throw EError("The manifest must be a JSON object: " + path);
    return ManifestArguments(manifest, Utf8Of(PathOf(path).parent_path()));
}

namespace {

// Whether pack has the long option --`name`.
bool IsPackOption(const std::string& name) {
    static const std::set<std::string> kNames = [] {
        CLI::App app;
        TPackArgs args;
        AddPackOptions(app, args);
        std::set<std::string> names;
        for (const CLI::Option* option : app.get_options())
            for (const std::string& long_name : option->get_lnames())
                names.insert(long_name);
        return names;
    }();
    return kNames.count(name) > 0;
}

} // namespace

// The longest time a picture may stay, in seconds: a day.
constexpr double kMaxPictureSeconds = 86400;

TManifestArgs ManifestArguments(const nlohmann::json& manifest, const std::string& folder) {
    const fs::path base = PathOf(folder);
    auto file = [&](const nlohmann::json& v) {
        if (!v.is_string())
            throw EError("The manifest names a file with " + v.dump() + ", which is no text");
        const fs::path p = PathOf(v.get<std::string>());
        return Utf8Of(p.is_absolute() ? p : base / p);
    };
    static const std::set<std::string> kFileKeys = {"sound", "movie", "stub", "from"};
    const std::string where = "The manifest in " + Utf8Of(PathOf(folder));
    // A string is a plain picture; an object gives its caption and time.
    auto picture = [&](const nlohmann::json& v) {
        if (!v.is_object()) return TPictureEntry{file(v)};
        TPictureEntry entry;
        for (const auto& [key, value] : v.items()) {
            if (key == "comment" || key.starts_with("_")) continue;
            if (key == "file") {
                entry.Path = file(value);
            } else if (key == "caption") {
                if (!value.is_string() || !IsValidUtf8(value.get<std::string>()))
                    throw EError(msg::kManifestPictureValue, {where, key, "UTF-8 text"});
                entry.Caption = value.get<std::string>();
            } else if (key == "seconds") {
                if (!value.is_number() || value.get<double>() < 0 ||
                    value.get<double>() > kMaxPictureSeconds)
                    throw EError(msg::kManifestPictureValue,
                                 {where, key, "a number of seconds from 0 to 86400"});
                entry.IntervalMs = static_cast<int>(value.get<double>() * 1000 + 0.5);
            } else {
                throw EError(msg::kUnknownManifestKey, {where + ", a picture", key});
            }
        }
        if (entry.Path.empty())
            throw EError(msg::kManifestPictureValue, {where, "file", "the picture's file"});
        return entry;
    };
    TManifestArgs out;
    std::vector<std::string>& args = out.Args;
    for (const auto& [key, value] : manifest.items()) {
        if (key == "comment" || key.starts_with("_")) continue;
        if (key != "pictures" && !IsPackOption(key))
            throw EError(msg::kUnknownManifestKey, {where, key});
        if (key == "pictures") {
            for (const auto& p : value.is_array() ? value : nlohmann::json::array({value}))
                out.Pictures.push_back(picture(p));
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
    return out;
}

const CLI::Validator kRegularFile(
    [](std::string& path) -> std::string {
        std::error_code error;
        if (!fs::exists(PathOf(path), error)) return "No such file: " + path;
        if (!fs::is_regular_file(PathOf(path), error)) return "Not a regular file: " + path;
        return {};
    },
    "FILE");
namespace {

// A picture file, or a folder of them.
const CLI::Validator kPicturePath(
    [](std::string& path) -> std::string {
        std::error_code error;
        if (fs::is_directory(PathOf(path), error)) return {};
        std::string copy = path;
        return kRegularFile(copy);
    },
    "PATH");

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

// "all", or style numbers separated by commas, each list adding to the
// ones before.
std::vector<int> ParseStyles(const std::vector<std::string>& lists) {
    std::vector<int> styles;
    for (const std::string& list : lists) {
        if (list == "all") {
            styles.clear();
            continue;
        }
        std::stringstream items(list);
        for (std::string item; std::getline(items, item, ',');) {
            std::int32_t number;
            if (!TryStrToInt(item, number) || number < 0 || number > kLastStyle)
                throw CLI::ValidationError("--styles", "not a style number from 0 to " +
                                                           std::to_string(kLastStyle) + ": " +
                                                           item);
            styles.push_back(number);
        }
    }
    return styles;
}

} // namespace

void AddPackOptions(CLI::App& pack, TPackArgs& a) {
    pack.add_option("-o,--output", a.job.Output, "The saver file to write")->required();
    // Repeatable options take one value each time and keep them all; every
    // other option keeps its last value, so the command line overrides a
    // manifest.
    auto repeatable = [](CLI::Option* option) {
        option->expected(1)->allow_extra_args(false)->multi_option_policy(
            CLI::MultiOptionPolicy::TakeAll);
        option->check(kRegularFile);
    };
    pack.add_option("pictures", a.pictures,
                    "Pictures (JPEG, PNG, WebP, HEIC) or folders of them, in show order")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->check(kPicturePath);
    pack.add_flag("-r,--recursive", a.recursive, "Folders with their subfolders");
    pack.add_option("--from", a.from,
                    "An existing saver whose pictures, sounds, movies and settings come first; "
                    "the options given here override its settings")
        ->check(kRegularFile);
    pack.add_option("--manifest", a.manifest, "A JSON file of these options and \"pictures\"");
    pack.add_option("--target", a.target, "The runtime stub's platform")
        ->check(CLI::IsMember({"windows", "linux"}));
    pack.add_option("--stub", a.job.Stub, "The runtime executable (default: beside this tool)")
        ->check(kRegularFile);
    repeatable(pack.add_option("--sound", a.sounds, "A background sound (repeatable)"));
    repeatable(pack.add_option("--movie", a.movies, "A movie (repeatable)"));
    pack.add_option("--max-size", a.max_size,
                    "Pictures larger than WxH are scaled down to fit it; none keeps every size");
    pack.add_option("--quality", a.quality, "JPEG quality of pictures the pack converts")
        ->check(CLI::Range(1, 100));
    auto record = [&](CLI::Option* option) { a.record_options[option->get_name()] = option; };
    record(pack.add_option("--title", a.title, "The saver's name (UTF-8)"));
    record(pack.add_option("--author", a.author, "Author line of the settings dialog"));
    record(pack.add_option("--email", a.email, "E-mail link, opened as it stands (mailto:...)"));
    record(pack.add_option("--web", a.web, "Web link"));
    record(pack.add_option("--text", a.text,
                           "Caption drawn on every other picture (where pictures have no "
                           "captions of their own)"));
    record(pack.add_option("--font-name", a.font_name, "Caption font face (a new saver: Arial)"));
    record(pack.add_option("--font-size", a.font_size, "Caption size in points (a new saver: 24)")
               ->check(CLI::Range(1, 500)));
    record(pack.add_option("--font-color", a.font_color,
                           "Caption colour: clRed, #RRGGBB or a number (a new saver: white)"));
    pack.add_option("--caption", a.caption_template,
                    "Gives every picture without a caption of its own one made from TEMPLATE: "
                    "text with {date} (when the photo was taken), {title} (the photo's own "
                    "title), {file} (its name without the extension), {n} and {count}");
    pack.add_option("--date-format", a.date_format,
                    "How {date} is written: %-d %B %Y (the default: 12 August 2024), with %Y %y "
                    "%m %-m %B %b %d %-d %A %a %H %-H %M %S");
    record(pack.add_flag("--caption-shadow,!--no-caption-shadow", a.caption_shadow,
                         "A dark outline around captions, clear of the screen's edge (on for a "
                         "new saver)"));
    record(pack.add_option("--font-style", a.font_style, "bold,italic,underline,strikeout"));
    record(pack.add_option("--interval", a.interval,
                           "Milliseconds between pictures (a new saver: 5000; 0 stays on the "
                           "first picture)")
               ->check(CLI::NonNegativeNumber));
    record(pack.add_flag("--random-style,!--no-random-style", a.random_style,
                         "Transitions at random"));
    record(pack.add_flag("--random-picture,!--no-random-picture", a.random_picture,
                         "Pictures at random"));
    record(pack.add_flag("--shuffle,!--no-shuffle", a.shuffle,
                         "Pictures at random without repeats: each once a round (with "
                         "--random-style, styles too)"));
    record(pack.add_option("--transition-ms", a.transition_ms,
                           "Milliseconds a transition lasts, 200 to 10000 (default: 25 frames "
                           "of 40 ms)")
               ->check(CLI::Range(kMinTransitionMs, kMaxTransitionMs)));
    record(pack.add_flag("--clear-old-image,!--no-clear-old-image", a.clear_old_image,
                         "Clear the old image before each transition"));
    record(pack.add_option("--sound-order", a.sound_order, "list, random or repeat-one")
               ->check(CLI::IsMember({"list", "random", "repeat-one"})));
    record(pack.add_flag("--mute,!--no-mute", a.mute,
                         "No background sound unless the user turns it on"));
    record(pack.add_option("--kind", a.kind, "photo or flash")
               ->check(CLI::IsMember({"photo", "flash"})));
    record(pack.add_option(
                   "--fit", a.fit,
                   "natural (cut when larger than the screen), shrink (larger ones fitted; the "
                   "default), fit (scaled up or down) or fill (covering the screen)")
               ->check(CLI::IsMember({"natural", "shrink", "fit", "fill"})));
    record(pack.add_flag("--blur-borders,!--no-blur-borders", a.blur_borders,
                         "Fill the borders a fitted picture leaves with a blurred copy of it"));
    record(pack.add_option("--screens", a.screens,
                           "With several monitors: each (a show of its own on every monitor; "
                           "the default), mirror (the same on all) or primary (the others black)")
               ->check(CLI::IsMember({"primary", "mirror", "each"})));
    record(pack.add_option("--styles", a.styles,
                           "The transitions to show, in their order: numbers 0 to 127 "
                           "separated by commas (repeatable), or all (the default)")
               ->expected(1)
               ->allow_extra_args(false)
               ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll));
    pack.add_flag("--xscreensaver-config", a.xscreensaver_config,
                  "Also write NAME.xml beside the saver, listing it in xscreensaver's settings");
    pack.add_flag("-q,--quiet", a.quiet, "No progress");
}

namespace {

// The record: an existing saver's or a new one's defaults, then every
// option given.
void ApplyRecordOptions(TPackArgs& a, TSSFileLocations& r, bool fresh) {
    auto given = [&](const char* name) {
        const auto it = a.record_options.find(name);
        return fresh || (it != a.record_options.end() && it->second->count() > 0);
    };
    auto text = [&](const char* name, const std::string& value, std::string& field) {
        if (a.record_options.at(name)->count() == 0) return;
        if (!IsValidUtf8(value)) throw EError(std::string(name) + " is not UTF-8 text");
        field = value;
    };
    text("--title", a.title, r.Title);
    text("--author", a.author, r.Author);
    text("--email", a.email, r.Email);
    text("--web", a.web, r.Web);
    text("--text", a.text, r.Text);
    if (fresh) {
        // A new saver's caption reads on any picture: white, 24 points, in
        // a face both systems have (Linux maps Arial to a face of the same
        // measures), outlined.
        r.TextFont.Name = kNewCaptionFace;
        r.TextFont.SetSize(kNewCaptionPoints);
        r.TextFont.Color = RGBColor(255, 255, 255);
    }
    text("--font-name", a.font_name, r.TextFont.Name);
    if (a.record_options.at("--font-size")->count() > 0) r.TextFont.SetSize(a.font_size);
    if (a.record_options.at("--font-color")->count() > 0)
        r.TextFont.Color = ParseColor(a.font_color);
    if (a.record_options.at("--font-style")->count() > 0)
        r.TextFont.Style = ParseStyle(a.font_style);
    if (given("--interval")) r.Interval = a.interval;
    if (given("--random-style")) r.lRandomStyle = a.random_style;
    if (given("--random-picture")) r.lRandomPic = a.random_picture;
    if (given("--shuffle")) r.lShuffle = a.shuffle;
    // Shuffling is a way of taking pictures at random.
    if (r.lShuffle && a.record_options.at("--shuffle")->count() > 0) r.lRandomPic = true;
    if (a.record_options.at("--transition-ms")->count() > 0) r.TransitionTime = a.transition_ms;
    if (given("--caption-shadow")) r.CaptionShadow = a.caption_shadow;
    if (given("--clear-old-image")) r.lClearOldImage = a.clear_old_image;
    if (given("--mute")) r.lMute = a.mute;
    if (given("--sound-order"))
        r.SoundRandom = a.sound_order == "random" ? 2 : a.sound_order == "repeat-one" ? 3 : 1;
    if (given("--kind")) r.Ver = a.kind;
    if (given("--fit")) {
        static const std::map<std::string, TFitMode> kModes = {{"natural", TFitMode::fmNatural},
                                                               {"shrink", TFitMode::fmShrink},
                                                               {"fit", TFitMode::fmFit},
                                                               {"fill", TFitMode::fmFill}};
        r.FitMode = kModes.at(a.fit);
    }
    if (given("--blur-borders")) r.BlurBorders = a.blur_borders;
    if (given("--screens")) r.MonitorMode = *TSSFileLocations::MonitorModeByName("mm" + a.screens);
    if (a.record_options.at("--styles")->count() > 0) r.Styles = ParseStyles(a.styles);
}

} // namespace

TCaptionFields CaptionFieldsOf(const TPackSource& source, int n, int count, bool facts) {
    TCaptionFields fields;
    fields.File = Utf8Of(PathOf(source.Name).stem());
    fields.N = n;
    fields.Count = count;
    if (!facts) return fields;
    try {
        const TPhotoFacts read = ReadPhotoFacts(source.Read());
        fields.Date = read.Taken;
        fields.Title = read.Title;
    } catch (const EError&) {
        // A picture that cannot be read fails the pack with its reason.
    }
    if (!fields.Date && source.WholeFile) fields.Date = FileModifiedLocal(source.File);
    return fields;
}

void ApplyCaptionTemplate(std::vector<TPackSource>& pictures, const std::string& text,
                          const std::string& date_format) {
    const TCaptionTemplate caption(text, date_format.empty() ? kDefaultDateFormat : date_format);
    const int count = static_cast<int>(pictures.size());
    for (int i = 0; i < count; ++i) {
        TPackSource& source = pictures[static_cast<std::size_t>(i)];
        if (!source.Caption)
            source.Caption =
                caption.Resolve(CaptionFieldsOf(source, i + 1, count, caption.NeedsFacts()));
    }
}

TPackJob PackJobOf(TPackArgs& a, bool with_runtime) {
    TPackJob job = a.job;
    if (a.max_size == "none") {
        job.Limits.MaxWidth = job.Limits.MaxHeight = 0;
    } else if (const std::optional<TSize> size = ParseSize(a.max_size, 16)) {
        job.Limits.MaxWidth = size->Width;
        job.Limits.MaxHeight = size->Height;
    } else {
        throw EError("--max-size takes WxH (at least 16x16), for example 3840x2160, or none");
    }
    job.Limits.Quality = a.quality;
    if (!a.from.empty()) {
        TSaverContents old = ReadSaverContents(a.from);
        for (const std::string& skipped : old.Skipped)
            std::fprintf(stderr, "warning: left out: %s\n", skipped.c_str());
        job.Record = old.Record;
        job.Pictures = std::move(old.Pictures);
        job.Sounds = std::move(old.Sounds);
        job.Movies = std::move(old.Movies);
    }
    ApplyRecordOptions(a, job.Record, a.from.empty());
    for (const TPictureEntry& entry : a.manifest_pictures) {
        std::string checked = entry.Path;
        if (const std::string why = kPicturePath(checked); !why.empty()) throw EError(why);
        for (const std::string& path : ExpandPicturePaths({entry.Path}, a.recursive)) {
            TPackSource& source = job.Pictures.emplace_back(path);
            source.Caption = entry.Caption;
            source.IntervalMs = entry.IntervalMs;
        }
    }
    for (const std::string& path : ExpandPicturePaths(a.pictures, a.recursive))
        job.Pictures.emplace_back(path);
    if (!a.caption_template.empty())
        ApplyCaptionTemplate(job.Pictures, a.caption_template, a.date_format);
    for (const std::string& path : a.sounds)
        job.Sounds.emplace_back(path);
    for (const std::string& path : a.movies)
        job.Movies.emplace_back(path);
    if (!with_runtime) return job;
    if (job.Stub.empty()) job.Stub = FindRuntimeStub(ExtractFilePath(ModuleFileName()), a.target);
    if (const std::uint64_t debug = DebugInformationBytesOf(job.Stub); debug > 0)
        std::fprintf(stderr,
                     "warning: the runtime stub %s carries %.1f MB of debug information, which "
                     "every saver packed with it would carry; use a stripped runtime\n",
                     job.Stub.c_str(), static_cast<double>(debug) / (1 << 20));
    return job;
}

int RunPack(TPackArgs& a) {
    TPackJob job = PackJobOf(a);
    const std::string output = job.Output;
    const TSSFileLocations texts = job.Record;
    const int pictures = static_cast<int>(job.Pictures.size());
    PackSaver(std::move(job), [&](int done, int total, const std::string& what) {
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
        std::ofstream xml(PathOf(xml_path), std::ios::binary);
        xml << XScreensaverConfig(texts, pictures, program);
        if (!xml.flush()) throw EError("Cannot create file " + xml_path);
        if (!a.quiet) std::fprintf(stderr, "wrote %s\n", xml_path.c_str());
    }
    return 0;
}

void ExpandManifest(std::vector<std::string>& args, std::vector<TPictureEntry>& pictures) {
    for (std::size_t i = 0; i + 1 < args.size(); ++i)
        if (args[i] == "--manifest") {
            TManifestArgs extra = ManifestArguments(args[i + 1]);
            args.insert(args.begin() + 1, extra.Args.begin(), extra.Args.end());
            pictures = std::move(extra.Pictures);
            return;
        }
}

namespace {

TPackJob ParsedJob(std::vector<std::string> args, std::vector<TPictureEntry> pictures,
                   bool with_runtime) {
    CLI::App app("tevrin", "tevrin");
    app.require_subcommand(1);
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    TPackArgs pack_args;
    pack_args.manifest_pictures = std::move(pictures);
    AddPackOptions(*app.add_subcommand("pack"), pack_args);
    std::reverse(args.begin(), args.end());
    try {
        app.parse(args);
    } catch (const CLI::ParseError& e) {
        throw EError(e.what());
    }
    return PackJobOf(pack_args, with_runtime);
}

} // namespace

TPackJob PackJobFromManifest(const nlohmann::json& manifest, const std::string& folder,
                             const std::vector<std::string>& args, bool with_runtime) {
    TManifestArgs read = ManifestArguments(manifest, folder);
    read.Args.insert(read.Args.begin(), "pack");
    read.Args.insert(read.Args.end(), args.begin(), args.end());
    return ParsedJob(std::move(read.Args), std::move(read.Pictures), with_runtime);
}

TPackJob PackJobFromArguments(std::vector<std::string> args, bool with_runtime) {
    args.insert(args.begin(), "pack");
    std::vector<TPictureEntry> pictures;
    ExpandManifest(args, pictures);
    return ParsedJob(std::move(args), std::move(pictures), with_runtime);
}

} // namespace tevrin
