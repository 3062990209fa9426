// SPDX-License-Identifier: MIT
#include "tools/PackChoices.h"

#include "base/Errors.h"
#include "base/IntConv.h"
#include "base/Paths.h"
#include "base/Sizes.h"
#include "base/Unicode.h"
#include "effects/Effects.h"
#include "payload/Font.h"
#include "show/Choices.h"

#include <algorithm>
#include <filesystem>
#include <sstream>

namespace tevrin {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

constexpr std::size_t kMaxTextBytes = 4096;

#ifdef _WIN32
constexpr const char* kHost = "windows";
#else
constexpr const char* kHost = "linux";
#endif

std::string Text(const json& v) {
    return v.get<std::string>();
}

const std::vector<TPackChoice>& Table() {
    using K = TChoiceKind;
    static const std::vector<TPackChoice> kTable = {
        // The pack itself.
        {"output", "o", K::Path, "The saver file to write"},
        {"recursive",
         "r",
         K::Flag,
         "Folders with their subfolders (--folder's too, when the saver runs)",
         0,
         0,
         {},
         false,
         kEverywhere,
         [](const json& v, TSSFileLocations& r) { r.lRecursive = v.get<bool>(); }},
        {"folder",
         "",
         K::Folders,
         "A folder whose pictures the saver shows as it finds them when it runs (repeatable); "
         "~, $HOME and %USERPROFILE% are expanded on the machine that runs it",
         0,
         0,
         {},
         nullptr,
         kEverywhere,
         [](const json& v, TSSFileLocations& r) {
             r.PictureFolders = v.get<std::vector<std::string>>();
         }},
        {"from", "", K::File,
         "An existing saver whose pictures, sounds, movies and settings come first; the options "
         "given here override its settings"},
        {"manifest",
         "",
         K::File,
         "A JSON file of these options and \"pictures\"",
         0,
         0,
         {},
         nullptr,
         kOnCommandLine},
        {"target", "", K::Choice, "The runtime stub's platform", 0, 0, {"windows", "linux"}, kHost},
        {"stub", "", K::File, "The runtime executable (default: beside this tool)"},
        {"sound", "", K::Files, "A background sound (repeatable)"},
        {"movie", "", K::Files, "A movie (repeatable)"},
        {"max-size",
         "",
         K::Size,
         "Pictures larger than WxH are scaled down to fit it (with --motion pan-zoom the default "
         "is "
         "4416x4416, so pictures of any shape can zoom on a 4K screen); none keeps every size",
         0,
         0,
         {},
         "3840x2160"},
        {"quality", "", K::Number, "JPEG quality of pictures the pack converts", 1, 100, {}, 92},
        {"caption",
         "",
         K::Text,
         "Gives every picture without a caption of its own one made from TEMPLATE: text with "
         "{date} (when the photo was taken), {title} (the photo's own title), {file} (its name "
         "without the extension), {n} and {count}",
         0,
         0,
         {},
         nullptr,
         kEverywhere | kOnPage},
        {"date-format",
         "",
         K::Text,
         "How {date} is written: %-d %B %Y (the default: 12 August 2024), with %Y %y %m %-m %B "
         "%b %d %-d %A %a %H %-H %M %S",
         0,
         0,
         {},
         nullptr,
         kEverywhere | kOnPage},
        // The record's properties.
        {"title",
         "",
         K::Text,
         "The saver's name (UTF-8)",
         0,
         0,
         {},
         nullptr,
         kEverywhere | kOnPage,
         [](const json& v, TSSFileLocations& r) { r.Title = Text(v); }},
        {"author",
         "",
         K::Text,
         "Author line of the settings dialog",
         0,
         0,
         {},
         nullptr,
         kEverywhere | kOnPage,
         [](const json& v, TSSFileLocations& r) { r.Author = Text(v); }},
        {"email",
         "",
         K::Text,
         "E-mail link, opened as it stands (mailto:...)",
         0,
         0,
         {},
         nullptr,
         kEverywhere | kOnPage,
         [](const json& v, TSSFileLocations& r) { r.Email = Text(v); }},
        {"web",
         "",
         K::Text,
         "Web link",
         0,
         0,
         {},
         nullptr,
         kEverywhere | kOnPage,
         [](const json& v, TSSFileLocations& r) { r.Web = Text(v); }},
        {"text",
         "",
         K::Text,
         "Caption drawn on every other picture (where pictures have no captions of their own)",
         0,
         0,
         {},
         nullptr,
         kEverywhere | kOnPage,
         [](const json& v, TSSFileLocations& r) { r.Text = Text(v); }},
        {"font-name",
         "",
         K::Text,
         "Caption font face (a new saver: Arial, a face both systems have)",
         0,
         0,
         {},
         "Arial",
         kEverywhere | kOnPage,
         [](const json& v, TSSFileLocations& r) { r.TextFont.Name = Text(v); }},
        {"font-size",
         "",
         K::Number,
         "Caption size in points (a new saver: 24)",
         1,
         500,
         {},
         24,
         kEverywhere | kOnPage,
         [](const json& v, TSSFileLocations& r) { r.TextFont.SetSize(v.get<int>()); }},
        {"font-color",
         "",
         K::Color,
         "Caption colour: clRed, #RRGGBB or a number (a new saver: white)",
         0,
         0,
         {},
         "#FFFFFF",
         kEverywhere | kOnPage,
         [](const json& v, TSSFileLocations& r) { r.TextFont.Color = v.get<TColor>(); }},
        {"font-style",
         "",
         K::FontStyle,
         "bold,italic,underline,strikeout",
         0,
         0,
         {},
         nullptr,
         kEverywhere,
         [](const json& v, TSSFileLocations& r) {
             std::uint8_t style = 0;
             for (const json& name : v)
                 style |= name == "bold"        ? fsBold
                          : name == "italic"    ? fsItalic
                          : name == "underline" ? fsUnderline
                                                : fsStrikeOut;
             r.TextFont.Style = style;
         }},
        {"caption-shadow",
         "",
         K::Flag,
         "A dark outline around captions, clear of the screen's edge (on for a new saver)",
         0,
         0,
         {},
         true,
         kEverywhere | kOnPage,
         [](const json& v, TSSFileLocations& r) { r.CaptionShadow = v.get<bool>(); },
         true},
        {"interval",
         "",
         K::Number,
         "Milliseconds between pictures (a new saver: 5000; 0 stays on the first picture)",
         0,
         24LL * 3600 * 1000,
         {},
         5000,
         kEverywhere | kOnPage,
         [](const json& v, TSSFileLocations& r) { r.Interval = v.get<std::int32_t>(); }},
        {"transition-ms",
         "",
         K::Number,
         "Milliseconds a transition lasts, 200 to 10000 (default: 25 frames of 40 ms)",
         kMinTransitionMs,
         kMaxTransitionMs,
         {},
         nullptr,
         kEverywhere | kOnPage,
         [](const json& v, TSSFileLocations& r) { r.TransitionTime = v.get<std::int32_t>(); }},
        {"random-style",
         "",
         K::Flag,
         "Transitions at random",
         0,
         0,
         {},
         false,
         kEverywhere | kOnPage,
         [](const json& v, TSSFileLocations& r) { r.lRandomStyle = v.get<bool>(); },
         true},
        {"random-picture",
         "",
         K::Flag,
         "Pictures at random",
         0,
         0,
         {},
         false,
         kEverywhere | kOnPage,
         [](const json& v, TSSFileLocations& r) { r.lRandomPic = v.get<bool>(); },
         true},
        // Shuffling is a way of taking pictures at random.
        {"shuffle",
         "",
         K::Flag,
         "Pictures at random without repeats: each once a round (with --random-style, styles "
         "too)",
         0,
         0,
         {},
         false,
         kEverywhere | kOnPage,
         [](const json& v, TSSFileLocations& r) {
             r.lShuffle = v.get<bool>();
             if (r.lShuffle) r.lRandomPic = true;
         },
         true},
        {"clear-old-image",
         "",
         K::Flag,
         "Clear the old image before each transition",
         0,
         0,
         {},
         false,
         kEverywhere | kOnPage,
         [](const json& v, TSSFileLocations& r) { r.lClearOldImage = v.get<bool>(); },
         true},
        {"sound-order",
         "",
         K::Choice,
         "list, random or repeat-one",
         0,
         0,
         {"list", "random", "repeat-one"},
         "list",
         kEverywhere | kOnPage,
         [](const json& v, TSSFileLocations& r) {
             r.SoundRandom = v == "random" ? 2 : v == "repeat-one" ? 3 : 1;
         }},
        {"mute",
         "",
         K::Flag,
         "No background sound unless the user turns it on",
         0,
         0,
         {},
         false,
         kEverywhere | kOnPage,
         [](const json& v, TSSFileLocations& r) { r.lMute = v.get<bool>(); },
         true},
        {"kind",
         "",
         K::Choice,
         "photo or flash",
         0,
         0,
         {"photo", "flash"},
         "photo",
         kEverywhere,
         [](const json& v, TSSFileLocations& r) { r.Ver = Text(v); }},
        {"fit",
         "",
         K::Choice,
         "natural (cut when larger than the screen), shrink (larger ones fitted; the default), fit "
         "(scaled up or down) or fill (covering the screen)",
         0,
         0,
         {"natural", "shrink", "fit", "fill"},
         "shrink",
         kEverywhere | kOnPage,
         [](const json& v, TSSFileLocations& r) {
             r.FitMode = *TSSFileLocations::FitModeByName("fm" + Text(v));
         }},
        {"motion",
         "",
         K::Choice,
         "none (still pictures; the default) or pan-zoom (each picture drifts and zooms slowly "
         "while it shows, at some cost in processor time)",
         0,
         0,
         {"none", "pan-zoom"},
         "none",
         kEverywhere | kOnPage,
         [](const json& v, TSSFileLocations& r) {
             r.Motion = v == "pan-zoom" ? TMotion::moPanZoom : TMotion::moNone;
         }},
        {"blur-borders",
         "",
         K::Flag,
         "Fill the borders a fitted picture leaves with a blurred copy of it",
         0,
         0,
         {},
         false,
         kEverywhere | kOnPage,
         [](const json& v, TSSFileLocations& r) { r.BlurBorders = v.get<bool>(); },
         true},
        {"screens",
         "",
         K::Choice,
         "With several monitors: each (a show of its own on every monitor; the default), mirror "
         "(the same on all) or primary (the others black)",
         0,
         0,
         {"primary", "mirror", "each"},
         "each",
         kEverywhere | kOnPage,
         [](const json& v, TSSFileLocations& r) {
             r.MonitorMode = *TSSFileLocations::MonitorModeByName("mm" + Text(v));
         }},
        {"styles",
         "",
         K::Styles,
         "The transitions to show, in their order starting with the first named: numbers 0 to "
         "127 separated by commas (repeatable), or all (the default)",
         0,
         kLastStyle,
         {},
         json::array(),
         kEverywhere | kOnPage,
         [](const json& v, TSSFileLocations& r) { r.Styles = v.get<std::vector<int>>(); }},
        // How the pack runs.
        {"xscreensaver-config",
         "",
         K::Flag,
         "Also write NAME.xml beside the saver, listing it in xscreensaver's settings",
         0,
         0,
         {},
         false},
        {"quiet", "q", K::Flag, "No progress", 0, 0, {}, false},
    };
    return kTable;
}

std::optional<TColor> ColorOf(const json& value) {
    if (value.is_number_integer()) {
        const long long n = value.get<long long>();
        if (n < INT32_MIN || n > INT32_MAX) return std::nullopt;
        return static_cast<TColor>(n);
    }
    if (!value.is_string()) return std::nullopt;
    const std::string text = Text(value);
    if (auto named = IdentValue(ColorNames(), text)) return *named;
    std::int32_t rgb;
    if (text.size() == 7 && text[0] == '#' &&
        std::all_of(text.begin() + 1, text.end(),
                    [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); }) &&
        TryStrToInt("$" + text.substr(1), rgb))
        return RGBColor((rgb >> 16) & 255, (rgb >> 8) & 255, rgb & 255);
    std::int32_t number;
    if (TryStrToInt(text, number)) return number;
    return std::nullopt;
}

// A comma list (or a JSON list) of items, each checked by `item`.
template <typename TItem> json ListOf(const json& value, TItem item) {
    json out = json::array();
    auto add_text = [&](const std::string& text) {
        std::stringstream items(text);
        for (std::string one; std::getline(items, one, ',');)
            if (!one.empty()) item(json(one), out);
    };
    if (value.is_string()) {
        add_text(Text(value));
    } else if (value.is_array()) {
        for (const json& entry : value)
            if (entry.is_string())
                add_text(Text(entry));
            else
                item(entry, out);
    } else {
        item(value, out);
    }
    return out;
}

} // namespace

const std::vector<TPackChoice>& PackChoices() {
    return Table();
}

const TPackChoice* FindPackChoice(std::string_view key) {
    for (const TPackChoice& choice : Table())
        if (choice.Key == key) return &choice;
    return nullptr;
}

json CheckedChoiceValue(const TPackChoice& choice, const json& value, const std::string& what,
                        const std::string& folder) {
    auto bad = [&](const char* pattern) { throw EError(pattern, {what}); };
    auto file = [&](const json& v) {
        if (!v.is_string()) bad(msg::kChoiceNotText);
        const fs::path p = PathOf(Text(v));
        const std::string path = Utf8Of(p.is_absolute() || folder.empty() ? p : PathOf(folder) / p);
        std::error_code error;
        if (!fs::exists(PathOf(path), error)) throw EError(msg::kNoSuchFile, {path});
        if (!fs::is_regular_file(PathOf(path), error)) throw EError(msg::kNotRegularFile, {path});
        return path;
    };
    switch (choice.Kind) {
    case TChoiceKind::Text:
        if (!value.is_string()) bad(msg::kChoiceNotText);
        if (Text(value).size() > kMaxTextBytes) bad(msg::kChoiceTooLong);
        if (!IsValidUtf8(Text(value))) bad(msg::kChoiceNotUtf8);
        return value;
    case TChoiceKind::Path:
        if (!value.is_string()) bad(msg::kChoiceNotText);
        if (!folder.empty() && !PathOf(Text(value)).is_absolute())
            return Utf8Of(PathOf(folder) / PathOf(Text(value)));
        return value;
    case TChoiceKind::File:
        return file(value);
    case TChoiceKind::Files: {
        json out = json::array();
        for (const json& v : value.is_array() ? value : json::array({value}))
            out.push_back(file(v));
        return out;
    }
    case TChoiceKind::Folders: {
        // Named as the running machine names them: nothing to check here but
        // the text, which the record's comma list keeps whole.
        json out = json::array();
        for (const json& v : value.is_array() ? value : json::array({value})) {
            if (!v.is_string() || Text(v).empty()) bad(msg::kChoiceNotText);
            if (Text(v).size() > kMaxTextBytes) bad(msg::kChoiceTooLong);
            if (!IsValidUtf8(Text(v))) bad(msg::kChoiceNotUtf8);
            out.push_back(v);
        }
        return out;
    }
    case TChoiceKind::Flag:
        if (!value.is_boolean()) bad(msg::kChoiceNotFlag);
        return value;
    case TChoiceKind::Number:
        if (!value.is_number_integer() || value.get<long long>() < choice.Low ||
            value.get<long long>() > choice.High)
            throw EError(msg::kChoiceRange,
                         {what, std::to_string(choice.Low), std::to_string(choice.High)});
        return value;
    case TChoiceKind::Choice: {
        std::string all;
        for (const std::string& v : choice.Values)
            all += (all.empty() ? "" : ", ") + v;
        if (!value.is_string() || std::find(choice.Values.begin(), choice.Values.end(),
                                            Text(value)) == choice.Values.end())
            throw EError(msg::kChoiceNone, {what, all});
        return value;
    }
    case TChoiceKind::Color:
        if (const std::optional<TColor> color = ColorOf(value)) return *color;
        bad(msg::kChoiceColor);
        break;
    case TChoiceKind::FontStyle:
        return ListOf(value, [&](const json& item, json& out) {
            static const std::vector<std::string> kStyles = {"bold", "italic", "underline",
                                                             "strikeout"};
            if (!item.is_string() ||
                std::find(kStyles.begin(), kStyles.end(), Text(item)) == kStyles.end())
                bad(msg::kChoiceFontStyle);
            out.push_back(item);
        });
    case TChoiceKind::Styles: {
        if (value == "all") return json::array();
        if (value.is_array() && value.size() > 1024) bad(msg::kChoiceStyles);
        json styles = ListOf(value, [&](const json& item, json& out) {
            std::int32_t number = -1;
            if (item.is_number_integer() && item.get<long long>() >= 0 &&
                item.get<long long>() <= kLastStyle)
                number = item.get<std::int32_t>();
            else if (item == "all")
                out.clear();
            else if (!item.is_string() || !TryStrToInt(Text(item), number) || number < 0 ||
                     number > kLastStyle)
                bad(msg::kChoiceStyles);
            if (number >= 0) out.push_back(number);
        });
        return styles;
    }
    case TChoiceKind::Size:
        if (value == "none") return value;
        if (!value.is_string() || !ParseSize(Text(value), 16)) bad(msg::kChoiceSize);
        return value;
    }
    return value;
}

json ChoiceValueFromText(const TPackChoice& choice, const std::string& text,
                         const std::string& what) {
    switch (choice.Kind) {
    case TChoiceKind::Number: {
        std::int32_t number;
        if (!TryStrToInt(text, number))
            return CheckedChoiceValue(choice, json(text), what); // refused as no number
        return CheckedChoiceValue(choice, json(number), what);
    }
    case TChoiceKind::Flag:
        return CheckedChoiceValue(choice, json(text == "true"), what);
    default:
        return CheckedChoiceValue(choice, json(text), what);
    }
}

void ApplyChoices(const json& values, TSSFileLocations& record, bool fresh) {
    for (const TPackChoice& choice : Table()) {
        if (!choice.Apply) continue;
        if (values.contains(choice.Key))
            choice.Apply(values[std::string(choice.Key)], record);
        else if (fresh && !choice.Default.is_null())
            choice.Apply(CheckedChoiceValue(choice, choice.Default, std::string(choice.Key)),
                         record);
    }
}

void MergeChoiceValue(json& values, const TPackChoice& choice, json value) {
    const std::string key(choice.Key);
    if ((choice.Kind == TChoiceKind::Files || choice.Kind == TChoiceKind::Folders) &&
        values.contains(key))
        for (json& item : value)
            values[key].push_back(std::move(item));
    else
        values[key] = std::move(value);
}

} // namespace tevrin
