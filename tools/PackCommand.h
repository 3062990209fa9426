// SPDX-License-Identifier: MIT
// `tevrin pack` as a command: its options and its manifests (a JSON object
// of the same choices), both read through pack's table of choices
// (PackChoices.h) into one value, and the job that value describes. The
// Studio builds through the same path, so a project's manifest packs the
// same saver on the command line.
#pragma once

#include "show/CaptionTemplate.h"
#include "tools/Pack.h"

#include <CLI/CLI.hpp>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace tevrin {

// An existing regular file: reading a FIFO or a device would wait for ever.
extern const CLI::Validator kRegularFile;

// A picture to pack: a file or folder, with the caption and time a
// manifest's object entry gives it ({"file": ..., "caption": ...,
// "seconds": ...}).
struct TPictureEntry {
    std::string Path;
    std::optional<std::string> Caption;
    std::optional<int> IntervalMs;
};

// What a saver is made from: the choices given, keyed by choice and held as
// the choice's kind holds them (CheckedChoiceValue), and the pictures in
// show order.
struct TPackValues {
    nlohmann::json Values = nlohmann::json::object();
    std::vector<TPictureEntry> Pictures;
};

// The command line's options as parsed, until PackValuesOf reads them.
struct TPackArgs {
    std::vector<std::string> pictures;
    std::map<std::string, std::vector<std::string>> texts;
    std::map<std::string, bool> flags;
    std::map<std::string, CLI::Option*> options;
};

// Adds an option for every choice the command line takes, and the pictures.
// For the player (`tevrin show`) the choices of the saver's file are left
// out (where it goes, its runtime, the pack's own output) and the paths may
// be savers and manifests too.
void AddPackOptions(CLI::App& pack, TPackArgs& a, bool player = false);

// The choices `tevrin show` leaves to itself.
bool IsPackOnlyChoice(std::string_view key);
// The choices the command line gave, over those of the manifest it names
// (--manifest): the command line's win, and its sounds, movies and pictures
// come after the manifest's. Raises EError naming a bad value.
TPackValues PackValuesOf(const TPackArgs& a);

// The deepest nesting of arrays and objects the tools read: deeper
// documents are refused before they are built.
inline constexpr int kMaxJsonDepth = 64;
// JSON text from a file or a request; `what` names it in the EError raised
// for text that is no JSON or nests deeper than kMaxJsonDepth.
nlohmann::json ParseJsonText(std::string_view text, const std::string& what);

// A manifest: a JSON object whose keys are pack's choices ("title",
// "interval", "sound", ...) and "pictures". Relative paths count from the
// manifest's folder. A key that is no choice a manifest takes is an error,
// except "comment" and keys starting with "_", which are notes.
TPackValues ReadManifest(const std::string& path);
// The same for a manifest already read, its paths counting from `folder`.
TPackValues ReadManifest(const nlohmann::json& manifest, const std::string& folder);

// What picture n of `count` fills a caption template with: its file name and
// place, and with `facts` its date (the photo's own, else its file's time)
// and title.
TCaptionFields CaptionFieldsOf(const TPackSource& source, int n, int count, bool facts);
// Gives every picture without a caption of its own one made from the
// template; raises EError for a template or date format in error.
void ApplyCaptionTemplate(std::vector<TPackSource>& pictures, const std::string& text,
                          const std::string& date_format);

// The job the values describe: the record (an existing saver's with
// "from", else a new one's defaults, then every choice given), the items
// in order and, `with_runtime`, the runtime found (warning on standard
// error when it carries debug information). Raises EError for bad input.
TPackJob PackJobOf(const TPackValues& values, bool with_runtime = true);
// Packs what the values say, with progress on standard error unless quiet.
int RunPack(const TPackValues& values);

} // namespace tevrin
