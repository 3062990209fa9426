// SPDX-License-Identifier: MIT
// `tevrin pack`: its options, manifests, and the job they describe.
#include "tools/PackCommand.h"

#include "base/Errors.h"
#include "base/IntConv.h"
#include "base/Paths.h"
#include "base/Sizes.h"
#include "base/System.h"
#include "base/Unicode.h"
#include "effects/Effects.h"
#include "effects/Styles.h"
#include "gfx/PhotoFacts.h"
#include "payload/Font.h"
#include "show/Choices.h"
#include "show/Motion.h"
#include "tools/PackChoices.h"
#include "tools/Runtime.h"
#include "tools/XScreensaverConfig.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

namespace tevrin {

namespace fs = std::filesystem;

using nlohmann::json;

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

namespace {

// The longest time a picture may stay, in seconds: a day.
constexpr double kMaxPictureSeconds = 86400;

// A picture file, or a folder of them.
const CLI::Validator kPicturePath(
    [](std::string& path) -> std::string {
        std::error_code error;
        if (fs::is_directory(PathOf(path), error)) return {};
        std::string copy = path;
        return kRegularFile(copy);
    },
    "PATH");

// A picture entry of a manifest: a path, or an object with its caption and
// time.
TPictureEntry PictureEntry(const json& v, const std::string& folder, const std::string& where) {
    auto file = [&](const json& name) {
        if (!name.is_string())
            throw EError(msg::kManifestPictureValue, {where, "file", "the picture's file name"});
        const fs::path p = PathOf(name.get<std::string>());
        return Utf8Of(p.is_absolute() ? p : PathOf(folder) / p);
    };
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
        throw EError(msg::kManifestPictureValue, {where, "file", "the picture's file name"});
    return entry;
}

} // namespace

const CLI::Validator kRegularFile(
    [](std::string& path) -> std::string {
        std::error_code error;
        if (!fs::exists(PathOf(path), error)) return Format(msg::kNoSuchFile, {path});
        if (!fs::is_regular_file(PathOf(path), error)) return Format(msg::kNotRegularFile, {path});
        return {};
    },
    "FILE");

TPackValues ReadManifest(const std::string& path) {
    const std::vector<std::uint8_t> bytes = ReadFileBytes(path);
    const json manifest = ParseJsonText(
        std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), path);
    if (!manifest.is_object()) throw EError(msg::kManifestNotObject, {path});
    return ReadManifest(manifest, Utf8Of(PathOf(path).parent_path()));
}

TPackValues ReadManifest(const json& manifest, const std::string& folder) {
    const std::string where = "The manifest in " + Utf8Of(PathOf(folder));
    TPackValues out;
    for (const auto& [key, value] : manifest.items()) {
        if (key == "comment" || key.starts_with("_")) continue;
        if (key == "pictures") {
            for (const json& entry : value.is_array() ? value : json::array({value}))
                out.Pictures.push_back(PictureEntry(entry, folder, where));
            continue;
        }
        const TPackChoice* choice = FindPackChoice(key);
        if (!choice || !(choice->Places & kInManifest))
            throw EError(msg::kUnknownManifestKey, {where, key});
        // false for a flag is a value like any other; a manifest's null is
        // no value.
        if (value.is_null()) continue;
        MergeChoiceValue(out.Values, *choice,
                         CheckedChoiceValue(*choice, value, where + ": \"" + key + "\"", folder));
    }
    return out;
}

bool IsPackOnlyChoice(std::string_view key) {
    static constexpr std::string_view kPackOnly[] = {
        "output", "from", "manifest", "target", "stub", "xscreensaver-config", "quiet"};
    return std::find(std::begin(kPackOnly), std::end(kPackOnly), key) != std::end(kPackOnly);
}

void AddPackOptions(CLI::App& pack, TPackArgs& a, bool player) {
    if (player)
        pack.add_option("paths", a.pictures,
                        "Folders (looked through as they play), pictures, a saver or a manifest")
            ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
            ->required()
            ->check(CLI::ExistingPath);
    else
        pack.add_option("pictures", a.pictures,
                        "Pictures (JPEG, PNG, WebP, HEIC) or folders of them, in show order")
            ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
            ->check(kPicturePath);
    for (const TPackChoice& choice : PackChoices()) {
        if (!(choice.Places & kOnCommandLine)) continue;
        if (player && IsPackOnlyChoice(choice.Key)) continue;
        const std::string key(choice.Key);
        std::string names =
            (choice.Short.empty() ? "" : "-" + std::string(choice.Short) + ",") + "--" + key;
        std::string help(choice.Help);
        CLI::Option* option;
        if (choice.Kind == TChoiceKind::Flag) {
            if (choice.Negatable) names += ",!--no-" + key;
            option = pack.add_flag(names, a.flags[key], help);
        } else {
            option =
                pack.add_option(names, a.texts[key], help)->expected(1)->allow_extra_args(false);
            const bool repeatable = choice.Kind == TChoiceKind::Files ||
                                    choice.Kind == TChoiceKind::Folders ||
                                    choice.Kind == TChoiceKind::Styles;
            // Repeatable options keep every value; the others the last.
            option->multi_option_policy(repeatable ? CLI::MultiOptionPolicy::TakeAll
                                                   : CLI::MultiOptionPolicy::TakeLast);
            static const std::map<TChoiceKind, const char*> kTypeNames = {
                {TChoiceKind::Text, "TEXT"},      {TChoiceKind::Path, "FILE"},
                {TChoiceKind::File, "FILE"},      {TChoiceKind::Files, "FILE"},
                {TChoiceKind::Folders, "DIR"},    {TChoiceKind::Number, "N"},
                {TChoiceKind::Choice, "TEXT"},    {TChoiceKind::Color, "COLOUR"},
                {TChoiceKind::FontStyle, "LIST"}, {TChoiceKind::Styles, "LIST"},
                {TChoiceKind::Size, "WxH"}};
            option->type_name(kTypeNames.at(choice.Kind));
            if (choice.Kind == TChoiceKind::Choice) option->check(CLI::IsMember(choice.Values));
        }
        if (choice.Key == "output") option->required();
        a.options[key] = option;
    }
    std::string styles = "Transitions for --styles (number: name (family)):\n";
    for (const TStyleInfo& style : StyleTable())
        styles += "  " + StyleTitle(style) + "\n";
    pack.footer(styles);
}

TPackValues PackValuesOf(const TPackArgs& a) {
    TPackValues given;
    for (const auto& [key, option] : a.options) {
        if (option->count() == 0) continue;
        const TPackChoice& choice = *FindPackChoice(key);
        const std::string what = "--" + key;
        json value;
        if (choice.Kind == TChoiceKind::Flag) {
            value = a.flags.at(key);
        } else {
            const std::vector<std::string>& texts = a.texts.at(key);
            if (choice.Kind == TChoiceKind::Files || choice.Kind == TChoiceKind::Folders ||
                choice.Kind == TChoiceKind::Styles)
                value = CheckedChoiceValue(choice, json(texts), what);
            else
                value = ChoiceValueFromText(choice, texts.back(), what);
        }
        given.Values[key] = std::move(value);
    }
    TPackValues all;
    if (given.Values.contains("manifest"))
        all = ReadManifest(given.Values["manifest"].get<std::string>());
    for (const auto& [key, value] : given.Values.items())
        MergeChoiceValue(all.Values, *FindPackChoice(key), value);
    for (const std::string& path : a.pictures)
        all.Pictures.push_back(TPictureEntry{path});
    return all;
}

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

namespace {

// A choice's value: the one given, else its default.
json ValueOf(const TPackValues& given, std::string_view key) {
    const std::string name(key);
    if (given.Values.contains(name)) return given.Values[name];
    return FindPackChoice(key)->Default;
}

} // namespace

TPackJob PackJobOf(const TPackValues& given, bool with_runtime) {
    TPackJob job;
    job.Output = ValueOf(given, "output").is_string() ? ValueOf(given, "output").get<std::string>()
                                                      : std::string();
    if (given.Values.contains("stub")) job.Stub = given.Values["stub"];
    job.Limits.Quality = ValueOf(given, "quality");
    const bool fresh = !given.Values.contains("from");
    if (!fresh) {
        TSaverContents old = ReadSaverContents(given.Values["from"]);
        for (const std::string& skipped : old.Skipped)
            std::fprintf(stderr, "warning: left out: %s\n", skipped.c_str());
        job.Record = old.Record;
        job.Pictures = std::move(old.Pictures);
        job.Sounds = std::move(old.Sounds);
        job.Movies = std::move(old.Movies);
    }
    ApplyChoices(given.Values, job.Record, fresh);
    const std::string max_size = ValueOf(given, "max-size");
    if (max_size == "none") {
        job.Limits.MaxWidth = job.Limits.MaxHeight = 0;
    } else {
        const std::optional<TSize> size = ParseSize(max_size, 16);
        job.Limits.MaxWidth = size->Width;
        job.Limits.MaxHeight = size->Height;
        // Pictures that move keep the pixels of their closest view, filling
        // the screen in either shape, unless the user chose the size.
        if (job.Record.Motion == TMotion::moPanZoom && !given.Values.contains("max-size")) {
            job.Limits.MaxWidth = job.Limits.MaxHeight =
                static_cast<int>(std::lround(std::max(size->Width, size->Height) * kMaxMotionZoom));
        }
    }
    const bool recursive = ValueOf(given, "recursive");
    for (const TPictureEntry& entry : given.Pictures) {
        std::string checked = entry.Path;
        if (const std::string why = kPicturePath(checked); !why.empty()) throw EError(why);
        for (const std::string& path : ExpandPicturePaths({entry.Path}, recursive)) {
            TPackSource& source = job.Pictures.emplace_back(path);
            source.Caption = entry.Caption;
            source.IntervalMs = entry.IntervalMs;
        }
    }
    const json caption = ValueOf(given, "caption");
    if (caption.is_string() && !caption.get<std::string>().empty()) {
        const json format = ValueOf(given, "date-format");
        ApplyCaptionTemplate(job.Pictures, caption,
                             format.is_string() ? format.get<std::string>() : "");
        // The folders' pictures are captioned when the saver shows them.
        if (!job.Record.PictureFolders.empty()) {
            job.Record.CaptionTemplate = caption;
            job.Record.CaptionDateFormat = format.is_string() ? format.get<std::string>() : "";
        }
    }
    for (const char* key : {"sound", "movie"})
        for (const json& path :
             ValueOf(given, key).is_array() ? ValueOf(given, key) : json::array())
            (key == std::string("sound") ? job.Sounds : job.Movies)
                .emplace_back(path.get<std::string>());
    if (!with_runtime) return job;
    if (job.Stub.empty())
        job.Stub = FindRuntimeStub(ExtractFilePath(ModuleFileName()),
                                   ValueOf(given, "target").get<std::string>());
    if (const std::uint64_t debug = DebugInformationBytesOf(job.Stub); debug > 0)
        std::fprintf(stderr,
                     "warning: the runtime stub %s carries %.1f MB of debug information, which "
                     "every saver packed with it would carry; use a stripped runtime\n",
                     job.Stub.c_str(), static_cast<double>(debug) / (1 << 20));
    return job;
}

int RunPack(const TPackValues& given) {
    TPackJob job = PackJobOf(given);
    const bool quiet = ValueOf(given, "quiet");
    const std::string output = job.Output;
    const TSSFileLocations texts = job.Record;
    const int pictures = static_cast<int>(job.Pictures.size());
    PackSaver(std::move(job), [&](int done, int total, const std::string& what) {
        if (!quiet) std::fprintf(stderr, "[%d/%d] %s\n", done + 1, total, what.c_str());
    });
    if (ValueOf(given, "xscreensaver-config").get<bool>()) {
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
        if (!xml.flush()) throw EError(msg::kCannotCreateFile, {xml_path});
        if (!quiet) std::fprintf(stderr, "wrote %s\n", xml_path.c_str());
    }
    return 0;
}

} // namespace tevrin
