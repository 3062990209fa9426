// SPDX-License-Identifier: MIT
// Every choice `tevrin pack` takes, in one table: its key (the long option,
// the manifest's key and the Studio's setting), its kind and range, what a
// new saver gets without it, and the record property it sets. The command
// line's options, manifests and the Studio's settings are all read through
// it, into one typed value.
#pragma once

#include "payload/SSFileLocations.h"

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tevrin {

enum class TChoiceKind {
    Text,      // UTF-8 text
    Path,      // a file to write, as given
    File,      // an existing regular file
    Files,     // existing regular files, one per use (repeatable)
    Folders,   // folders as the saver's machine names them, one per use (repeatable)
    Flag,      // true or false
    Number,    // a whole number within Low .. High
    Choice,    // one of Values
    Color,     // a colour name (clWhite), #RRGGBB or a number; held as its number
    FontStyle, // "bold,italic,underline,strikeout"; held as a list of those
    Styles,    // style numbers (repeatable, each a comma list) or "all"; held as a list
    Size,      // WxH, at least 16x16, or "none"
};

// Where a choice may be given.
enum TChoicePlace : unsigned {
    kOnCommandLine = 1,
    kInManifest = 2,
    kOnPage = 4, // the Studio's page edits it
    kEverywhere = kOnCommandLine | kInManifest,
};

struct TPackChoice {
    std::string_view Key;
    std::string_view Short; // one letter, or empty
    TChoiceKind Kind;
    std::string_view Help;
    long long Low = 0, High = 0;
    std::vector<std::string> Values = {};
    // What a new saver (or a value not given, for choices that set no
    // record property) gets; null for nothing.
    nlohmann::json Default = nullptr;
    unsigned Places = kEverywhere;
    // Sets the record property from a value of the choice's kind; none for
    // choices of the pack itself.
    void (*Apply)(const nlohmann::json& value, TSSFileLocations& record) = nullptr;
    // Negatable flags also take --no-KEY.
    bool Negatable = false;
};

const std::vector<TPackChoice>& PackChoices();
// The choice of `key`; none when there is no such choice.
const TPackChoice* FindPackChoice(std::string_view key);

// `value` as the choice's kind holds it (a colour's number, a list of
// styles ...), from JSON as a manifest or the page gives it; paths count
// from `folder`. Raises EError naming `what` ("--fit", "The setting fit")
// and the reason.
nlohmann::json CheckedChoiceValue(const TPackChoice& choice, const nlohmann::json& value,
                                  const std::string& what, const std::string& folder = {});
// The same from the text of a command-line option.
nlohmann::json ChoiceValueFromText(const TPackChoice& choice, const std::string& text,
                                   const std::string& what);

// Sets every record property the values give (keyed by choice); a new saver
// (`fresh`) first gets each choice's default.
void ApplyChoices(const nlohmann::json& values, TSSFileLocations& record, bool fresh);

// The values a choice's kind holds, for a choice given twice: lists of
// files and styles are joined, anything else replaced.
void MergeChoiceValue(nlohmann::json& values, const TPackChoice& choice, nlohmann::json value);

} // namespace tevrin
