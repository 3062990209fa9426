// `tevrin pack` as a command: its options, its manifests (a JSON object of
// the same options) and the job they describe. The Studio builds through
// the same path, so a project's manifest packs the same saver on the
// command line.
#pragma once

#include "show/CaptionTemplate.h"
#include "tools/Pack.h"

#include <CLI/CLI.hpp>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace tevrin {

#ifdef _WIN32
inline constexpr const char* kHostTarget = "windows";
#else
inline constexpr const char* kHostTarget = "linux";
#endif

// An existing regular file: reading a FIFO or a device would wait for ever.
extern const CLI::Validator kRegularFile;

// A picture a manifest lists: a file or folder, with the caption and time
// an object entry gives it ({"file": ..., "caption": ..., "seconds": ...}).
struct TPictureEntry {
    std::string Path;
    std::optional<std::string> Caption;
    std::optional<int> IntervalMs;
};

// What the command line says of a saver. The record's own values are set
// only where an option was given, so `--from` keeps an existing saver's.
struct TPackArgs {
    TPackJob job;
    std::vector<std::string> pictures, sounds, movies;
    std::string from, target = kHostTarget, manifest;
    std::string title, author, email, web, text, font_name, font_color, font_style;
    std::string sound_order = "list", kind = "photo", fit = "shrink", max_size = "3840x2160";
    std::string screens = "each";
    // Captions made from a template for pictures without their own.
    std::string caption_template, date_format = std::string(kDefaultDateFormat);
    std::vector<std::string> styles;
    // A new saver changes pictures every five seconds unless told otherwise.
    int font_size = 0, interval = 5000, quality = 92, transition_ms = 0;
    bool random_style = false, random_picture = false, clear_old_image = false, mute = false,
         blur_borders = false, shuffle = false, caption_shadow = true;
    // A manifest's pictures, before the command line's.
    std::vector<TPictureEntry> manifest_pictures;
    bool recursive = false, quiet = false, xscreensaver_config = false;
    // The options that set a record property, to see which were given.
    std::map<std::string, CLI::Option*> record_options;
};

// Adds pack's options to its subcommand.
void AddPackOptions(CLI::App& pack, TPackArgs& a);

// The deepest nesting of arrays and objects the tools read: deeper
// documents are refused before they are built.
inline constexpr int kMaxJsonDepth = 64;
// JSON text from a file or a request; `what` names it in the EError raised
// for text that is no JSON or nests deeper than kMaxJsonDepth.
nlohmann::json ParseJsonText(std::string_view text, const std::string& what);

// A manifest is a JSON object whose keys are pack's long option names
// ("title", "interval", "sound", ...) and "pictures"; its options become
// arguments placed before the command line's own, so the command line wins,
// and its pictures come before the command line's. Relative paths count
// from the manifest's folder. A key that is no option is an error, except
// "comment" and keys starting with "_", which are notes.
struct TManifestArgs {
    std::vector<std::string> Args;
    std::vector<TPictureEntry> Pictures;
};
TManifestArgs ManifestArguments(const std::string& path);
// The same for a manifest already read, its relative paths counting from
// `folder`.
TManifestArgs ManifestArguments(const nlohmann::json& manifest, const std::string& folder);
// A "--manifest FILE" among the arguments of "pack" (args[0]) puts the
// manifest's arguments right after "pack", and its pictures in `pictures`.
void ExpandManifest(std::vector<std::string>& args, std::vector<TPictureEntry>& pictures);

// What picture n of `count` fills a caption template with: its file name and
// place, and with `facts` its date (the photo's own, else its file's time)
// and title.
TCaptionFields CaptionFieldsOf(const TPackSource& source, int n, int count, bool facts);
// Gives every picture without a caption of its own one made from the
// template; raises EError for a template or date format in error.
void ApplyCaptionTemplate(std::vector<TPackSource>& pictures, const std::string& text,
                          const std::string& date_format);

// The job the parsed options describe: the record, the items in order and,
// `with_runtime`, the runtime found (warning on standard error when it
// carries debug information). Raises EError for a bad option value or
// input.
TPackJob PackJobOf(TPackArgs& a, bool with_runtime = true);
// Packs what the options say, with progress on standard error unless quiet.
int RunPack(TPackArgs& a);
// The job of `tevrin pack ARGS` (ARGS without "pack"); a parse error is
// raised as EError with CLI's text.
TPackJob PackJobFromArguments(std::vector<std::string> args, bool with_runtime = true);
// The job of a manifest already read, with `args` after its own.
TPackJob PackJobFromManifest(const nlohmann::json& manifest, const std::string& folder,
                             const std::vector<std::string>& args, bool with_runtime = true);

} // namespace tevrin
