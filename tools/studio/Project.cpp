// SPDX-License-Identifier: MIT
#include "tools/studio/Project.h"

#include "base/Errors.h"
#include "base/IntConv.h"
#include "base/Paths.h"
#include "base/System.h"
#include "base/Unicode.h"
#include "effects/Effects.h"
#include "gfx/Exif.h"
#include "gfx/Jpeg.h"
#include "gfx/PhotoFacts.h"
#include "gfx/PictureFile.h"
#include "show/CaptionTemplate.h"
#include "show/Choices.h"
#include "tools/PackChoices.h"
#include "tools/PackCommand.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <set>

namespace tevrin::studio {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

// A new project: pack's defaults for a new saver, with a title, and
// pictures fitted on a blurred copy of themselves.
json Defaults() {
    json defaults = {
        {"title", "My pictures"}, {"author", ""}, {"email", ""}, {"web", ""}, {"text", ""},
        {"blur-borders", true}};
    for (const TPackChoice& choice : PackChoices())
        if ((choice.Places & kOnPage) && !choice.Default.is_null() &&
            !defaults.contains(choice.Key))
            defaults[std::string(choice.Key)] = choice.Default;
    return defaults;
}

constexpr std::size_t kMaxTextBytes = 4096;

// The caption template the settings name ("caption", with "date-format"),
// if any; raises EError for one in error.
std::optional<TCaptionTemplate> CaptionTemplate(const json& settings) {
    const json& text = settings.value("caption", json());
    if (!text.is_string() || text.get<std::string>().empty()) return std::nullopt;
    const json& format = settings.value("date-format", json());
    return TCaptionTemplate(text.get<std::string>(),
                            format.is_string() && !format.get<std::string>().empty()
                                ? format.get<std::string>()
                                : std::string(kDefaultDateFormat));
}
// What no file name may hold on Windows (and "/" nowhere).
constexpr std::string_view kReservedCharacters = "<>:\"/\\|?*";
constexpr std::size_t kMaxNameBytes = 200;

std::string HexHash(std::span<const std::uint8_t> bytes) {
    return HexText(Sha256(bytes.data(), bytes.size()));
}

// A relative path with forward slashes, as manifests name files on every
// system.
std::string Generic(const fs::path& path) {
    const std::u8string text = path.generic_u8string();
    return std::string(text.begin(), text.end());
}

bool IsInside(const fs::path& folder, const fs::path& path) {
    const fs::path relative = path.lexically_normal().lexically_relative(folder.lexically_normal());
    return !relative.empty() && *relative.begin() != ".." && !relative.is_absolute();
}

constexpr const char* kBuildsKey = "_builds";

// The SHA-256 of a file's bytes in hex; empty when it cannot be read.
std::string FileHash(const fs::path& path) {
    try {
        return HexHash(ReadFileBytes(Utf8Of(path)));
    } catch (const EError&) {
        return {};
    }
}

// 128 bits of the SHA-256 of `text`, in hex.
std::string Digest(const std::string& text) {
    const auto digest = Sha256(text.data(), text.size());
    return HexText(std::span(digest).first(16));
}

// Now, as an ISO 8601 time in UTC ("2026-12-07T14:03:22Z").
std::string UtcNowText() {
    using namespace std::chrono;
    const auto now = floor<seconds>(system_clock::now());
    const auto day = floor<days>(now);
    const year_month_day date{day};
    const hh_mm_ss time{now - day};
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ",
                  static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                  static_cast<unsigned>(date.day()), static_cast<int>(time.hours().count()),
                  static_cast<int>(time.minutes().count()),
                  static_cast<int>(time.seconds().count()));
    return text;
}

std::string Folded(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// The keys of a JSON object's text in their order, each with the text of
// its value as written. The text is known to be a valid JSON object.
std::vector<std::pair<std::string, std::string>> TopLevelTexts(std::string_view text) {
    std::vector<std::pair<std::string, std::string>> out;
    int depth = 0;
    bool in_string = false;
    std::size_t key_start = 0, value_start = 0;
    std::string key;
    bool want_key = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (in_string) {
            if (c == '\\') {
                ++i;
            } else if (c == '"') {
                in_string = false;
                if (depth == 1 && want_key) {
                    key = json::parse(text.substr(key_start, i + 1 - key_start)).get<std::string>();
                    want_key = false;
                }
            }
            continue;
        }
        if (c == '"') {
            in_string = true;
            if (depth == 1 && want_key) key_start = i;
        } else if (c == '{' || c == '[') {
            if (++depth == 1) want_key = true;
        } else if (depth == 1 && c == ':') {
            value_start = i + 1;
        } else if ((c == ',' && depth == 1) || ((c == '}' || c == ']') && depth-- == 1)) {
            if (value_start > 0) {
                std::string_view value = text.substr(value_start, i - value_start);
                while (!value.empty() && std::isspace(static_cast<unsigned char>(value.front())))
                    value.remove_prefix(1);
                while (!value.empty() && std::isspace(static_cast<unsigned char>(value.back())))
                    value.remove_suffix(1);
                out.emplace_back(key, std::string(value));
            }
            value_start = 0;
            want_key = c == ',';
        }
    }
    return out;
}

} // namespace

TPictureFacts ReadPictureFacts(const std::string& name, std::span<const std::uint8_t> bytes,
                               bool read_all) {
    const TPictureFormat format = SniffPictureFormat(bytes);
    if (format == TPictureFormat::Unknown || !CanReadPictureFormat(format))
        throw EError(msg::kCannotReadPicture, {name, msg::kNotAPictureThisBuildReads});
    TPictureFacts facts;
    facts.Format = std::string(PictureFormatName(format));
    facts.ColoursFrom = OtherColoursOf(bytes);
    if (read_all) facts.Hash = HexHash(bytes);
    try {
        // Decoded whole, so a picture whose data ends early is refused now
        // rather than when the saver is built; a JPEG's size is its header's.
        const TBitmap24 decoded = format == TPictureFormat::Jpeg && !read_all
                                      ? TBitmap24()
                                      : DecodeUpright(bytes, 64, 64);
        if (format == TPictureFormat::Jpeg) {
            const TJpegInfo info = ReadJpegInfo(bytes.data(), bytes.size());
            facts.Width = info.UprightWidth();
            facts.Height = info.UprightHeight();
            facts.Cmyk = info.Cmyk;
        } else {
            facts.Width = decoded.Width();
            facts.Height = decoded.Height();
        }
    } catch (const std::exception& e) {
        throw EError(msg::kCannotReadPicture, {name, e.what()});
    }
    return facts;
}

std::string CheckedFileName(const std::string& name) {
    auto refuse = [&](const std::string& why) { throw EError(msg::kNotStorableName, {why, name}); };
    if (name.empty() || name == "." || name == "..") refuse("no name");
    if (name.size() > kMaxNameBytes) refuse("too long");
    if (!IsValidUtf8(name)) refuse("not UTF-8");
    for (unsigned char c : name)
        if (c < 0x20 || c == 0x7F ||
            kReservedCharacters.find(static_cast<char>(c)) != std::string_view::npos)
            refuse("a folder part or a character file names cannot hold");
    if (name.back() == '.' || name.back() == ' ' || name.front() == ' ')
        refuse("blank or dot at an end");
    // Windows opens a device for these names with any extension and any
    // blanks before it, in any case; the superscript digits count as digits
    // there.
    std::string stem = name.substr(0, name.find('.'));
    while (!stem.empty() && stem.back() == ' ')
        stem.pop_back();
    for (const char* digit : {"\u00B9", "\u00B2", "\u00B3"}) // ¹ ² ³
        for (std::size_t at; (at = stem.find(digit)) != std::string::npos;)
            stem.replace(at, 2, "1");
    std::transform(stem.begin(), stem.end(), stem.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    const bool numbered = stem.size() == 4 &&
                          (stem.starts_with("COM") || stem.starts_with("LPT")) &&
                          std::isdigit(static_cast<unsigned char>(stem[3]));
    static const std::set<std::string> kDevices = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    if (numbered || kDevices.count(stem) > 0) refuse("a device name");
    return name;
}

std::string ProjectManifestPath(const std::string& given) {
    if (given.empty()) {
        // Documents on Windows, the home folder elsewhere.
        const std::string home = UserDocumentsDir();
        if (home.empty()) throw EError(msg::kNoHomeFolder);
        return Utf8Of(PathOf(home) / "Tevrin Studio" / "project.json");
    }
    std::error_code error;
    const fs::path path = PathOf(given);
    // A folder, or a name that is no JSON file, is the project's folder.
    if (fs::is_directory(path, error) || path.extension() != ".json")
        return Utf8Of(path / "project.json");
    return given;
}

TProject::TProject(const std::string& manifest_path, std::size_t max_upload)
    : manifest_path_(Utf8Of(fs::absolute(PathOf(manifest_path)).lexically_normal())),
      folder_(Utf8Of(PathOf(manifest_path_).parent_path())), max_upload_(max_upload) {
    std::error_code error;
    if (!fs::exists(PathOf(manifest_path_), error)) {
        settings_ = Defaults();
        return;
    }
    const std::vector<std::uint8_t> bytes = ReadFileBytes(manifest_path_);
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    const json manifest = ParseJsonText(text, manifest_path_);
    if (!manifest.is_object()) throw EError(msg::kProjectNotObject, {manifest_path_});
    original_ = manifest;
    original_text_ = TopLevelTexts(text);
    settings_ = json::object();
    const fs::path base = PathOf(folder_);
    auto as_list = [](const json& value) {
        return value.is_array() ? value : json::array({value});
    };
    for (const auto& [key, value] : manifest.items()) {
        if (key != "pictures" && key != "sound") {
            settings_[key] = value;
            continue;
        }
        const json entries = as_list(value);
        made_[key].assign(entries.size(), 0);
        for (std::size_t entry = 0; entry < entries.size(); ++entry) {
            // A picture may be an object naming its file, caption and time.
            const json& written = entries[entry];
            const json* file = &written;
            if (key == "pictures" && written.is_object() && written.contains("file"))
                file = &written["file"];
            if (!file->is_string()) continue; // kept as written, used by nothing
            const std::string given = file->get<std::string>();
            const fs::path p = PathOf(given);
            const std::string path = Utf8Of(p.is_absolute() ? p : base / p);
            std::vector<std::string> files = {path};
            // A folder stands for its pictures, as pack reads it (one
            // without any stands for none here; pack names it).
            if (key == "pictures" && fs::is_directory(PathOf(path), error)) {
                try {
                    files = ExpandPicturePaths({path}, false);
                } catch (const EError&) {
                    files.clear();
                }
            }
            made_[key][entry] = static_cast<int>(files.size());
            for (const std::string& file : files) {
                TItem item = MakeItem(file, key == "pictures" ? 'p' : 's');
                item.Entry = static_cast<int>(entry);
                if (written.is_object()) {
                    const json& caption = written.value("caption", json());
                    const json& seconds = written.value("seconds", json());
                    if (caption.is_string()) item.Caption = caption.get<std::string>();
                    if (seconds.is_number() && seconds.get<double>() >= 0 &&
                        seconds.get<double>() <= 86400)
                        item.IntervalMs = static_cast<int>(seconds.get<double>() * 1000 + 0.5);
                }
                item.Stored =
                    file == path
                        ? given
                        : Generic(PathOf(given) / PathOf(file).lexically_relative(PathOf(path)));
                (key == "pictures" ? pictures_ : sounds_).push_back(std::move(item));
            }
        }
    }
}

bool TProject::Exists() const {
    std::error_code error;
    return fs::exists(PathOf(manifest_path_), error);
}

TItem TProject::MakeItem(const std::string& path, char kind,
                         std::optional<std::span<const std::uint8_t>> known,
                         const TPictureFacts* facts, const std::string* hash) const {
    TItem item;
    item.Id = kind + std::to_string(next_id_++);
    item.Path = path;
    const fs::path p = PathOf(path);
    item.Name = Utf8Of(p.filename());
    const fs::path normal = p.lexically_normal();
    item.Stored = IsInside(PathOf(folder_), normal)
                      ? Generic(normal.lexically_relative(PathOf(folder_).lexically_normal()))
                      : path;
    try {
        std::vector<std::uint8_t> read;
        if (!known) read = ReadFileBytes(path);
        const std::span<const std::uint8_t> bytes = known ? *known : read;
        item.Bytes = bytes.size();
        item.Hash = hash ? *hash : HexHash(bytes);
        if (kind == 'p') {
            // A listed JPEG by its header: a project of many opens at once.
            const TPictureFacts read =
                facts ? TPictureFacts{} : ReadPictureFacts(item.Name, bytes, false);
            const TPictureFacts& known_facts = facts ? *facts : read;
            item.Format = known_facts.Format;
            item.Width = known_facts.Width;
            item.Height = known_facts.Height;
            item.Cmyk = known_facts.Cmyk;
            item.ColoursFrom = known_facts.ColoursFrom;
            const TPhotoFacts photo = ReadPhotoFacts(bytes);
            item.Date = photo.Taken ? photo.Taken : FileModifiedLocal(path);
            item.Title = photo.Title;
        }
    } catch (const std::exception& e) {
        item.Problem = e.what();
    }
    return item;
}

void TProject::SetSettings(const json& settings) {
    if (!settings.is_object()) throw EError(msg::kSettingsNotObject);
    json merged = settings_;
    for (const auto& item : settings.items()) {
        const std::string& key = item.key();
        const TPackChoice* choice = FindPackChoice(key);
        if (!choice || !(choice->Places & kOnPage))
            throw ESettingRefused(key, Format(msg::kUnknownSetting, {key}));
        // Kept as the page sent it, once checked as pack reads it.
        try {
            (void)CheckedChoiceValue(*choice, item.value(), "The setting " + key);
        } catch (const EError& e) {
            throw ESettingRefused(key, e.what());
        }
        merged[key] = item.value();
    }
    if (merged == settings_) return;
    try {
        CaptionTemplate(merged); // a template in error is named here
    } catch (const EError& e) {
        throw ESettingRefused("caption", e.what());
    }
    std::swap(settings_, merged);
    try {
        (void)Record();
    } catch (...) {
        std::swap(settings_, merged);
        throw;
    }
    Save();
}

std::vector<TItem> TProject::ShownPictures() const {
    std::vector<TItem> shown = pictures_;
    const std::optional<TCaptionTemplate> caption = CaptionTemplate(settings_);
    if (!caption) return shown;
    const int count = static_cast<int>(shown.size());
    for (int i = 0; i < count; ++i) {
        TItem& item = shown[static_cast<std::size_t>(i)];
        if (item.Caption) continue;
        TCaptionFields fields;
        fields.Date = item.Date;
        fields.Title = item.Title;
        fields.File = Utf8Of(PathOf(item.Name).stem());
        fields.N = i + 1;
        fields.Count = count;
        item.Caption = caption->Resolve(fields);
    }
    return shown;
}

const TItem* TProject::Find(const std::string& id) const {
    for (const std::vector<TItem>* list : {&pictures_, &sounds_})
        for (const TItem& item : *list)
            if (item.Id == id) return &item;
    return nullptr;
}

const TItem& TProject::AddPicture(const std::string& name, std::span<const std::uint8_t> bytes) {
    CheckedFileName(name);
    const TPictureFacts facts = ReadPictureFacts(name, bytes);
    return AddPicture(name, bytes, facts);
}

const TItem& TProject::AddPicture(const std::string& name, std::span<const std::uint8_t> bytes,
                                  const TPictureFacts& facts) {
    return Add(pictures_, "pictures", 'p', kMaxPictures, name, bytes, &facts);
}

const TItem& TProject::AddSound(const std::string& name, std::span<const std::uint8_t> bytes) {
    return Add(sounds_, "sounds", 's', kMaxSounds, name, bytes, nullptr);
}

const TItem& TProject::Add(std::vector<TItem>& list, const char* folder, char kind, int limit,
                           const std::string& name, std::span<const std::uint8_t> bytes,
                           const TPictureFacts* facts) {
    CheckedFileName(name);
    if (static_cast<int>(list.size()) >= limit)
        throw EError(msg::kTooManyItems, {std::to_string(limit), folder});
    if (bytes.size() > max_upload_)
        throw EError(msg::kUploadTooLarge,
                     {name, max_upload_ >= (1 << 20) ? std::to_string(max_upload_ >> 20) + " MB"
                                                     : std::to_string(max_upload_) + " bytes"});
    if (bytes.empty()) throw EError(msg::kEmptyFile, {name});
    // Written only into the project's own folder for this kind, which must
    // be a real folder (a link could lead anywhere).
    const fs::path dir = PathOf(folder_) / folder;
    std::error_code error;
    fs::create_directories(dir, error);
    if (!fs::is_directory(fs::symlink_status(dir, error)))
        throw EError(msg::kStoreNoFolder, {name, Utf8Of(dir)});
    const std::string hash = facts && !facts->Hash.empty() ? facts->Hash : HexHash(bytes);
    const fs::path original = PathOf(name);
    fs::path target;
    bool stored = false; // the same content is there already
    for (int n = 1;; ++n) {
        const fs::path candidate =
            dir / (n == 1 ? original
                          : fs::path(original.stem().u8string() + u8" (" +
                                     fs::path(std::to_string(n)).u8string() + u8")" +
                                     original.extension().u8string()));
        if (!fs::exists(fs::symlink_status(candidate, error))) {
            target = candidate;
            break;
        }
        if (fs::is_regular_file(fs::symlink_status(candidate, error)) &&
            FileHash(candidate) == hash) {
            target = candidate;
            stored = true;
            break;
        }
        if (n > 1000) throw EError(msg::kStoreNoName, {name});
    }
    if (!stored && !ReplaceFileContents(
                       Utf8Of(target),
                       std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size())))
        throw EError(Format(msg::kCannotCreateFile, {Utf8Of(target)}) + ": " + LastErrorText());
    list.push_back(MakeItem(Utf8Of(target), kind, bytes, facts, &hash));
    (kind == 'p' ? pictures_changed_ : sounds_changed_) = true;
    Save();
    return list.back();
}

void TProject::SetPictureDetails(const std::string& id, std::optional<std::string> caption,
                                 std::optional<int> interval_ms) {
    const auto it = std::find_if(pictures_.begin(), pictures_.end(),
                                 [&](const TItem& item) { return item.Id == id; });
    if (it == pictures_.end()) throw EError(msg::kNoSuchPicture, {id});
    if (caption && (caption->size() > kMaxTextBytes || !IsValidUtf8(*caption)))
        throw EError(msg::kCaptionText, {std::to_string(kMaxTextBytes)});
    if (interval_ms && (*interval_ms < 0 || *interval_ms > 86400 * 1000))
        throw EError(msg::kPictureSeconds);
    if (it->Caption == caption && it->IntervalMs == interval_ms) return;
    it->Caption = std::move(caption);
    it->IntervalMs = interval_ms;
    it->Edited = true;
    pictures_changed_ = true;
    Save();
}

const TItem* TProject::SamePicture(const std::string& hash) const {
    for (const TItem& item : pictures_)
        if (item.Hash == hash) return &item;
    return nullptr;
}

bool TProject::Remove(const std::string& id) {
    for (std::vector<TItem>* list : {&pictures_, &sounds_}) {
        const auto it = std::find_if(list->begin(), list->end(),
                                     [&](const TItem& item) { return item.Id == id; });
        if (it != list->end()) {
            removed_[id] = {*it, static_cast<std::size_t>(it - list->begin())};
            list->erase(it);
            (list == &pictures_ ? pictures_changed_ : sounds_changed_) = true;
            Save();
            return true;
        }
    }
    return false;
}

const TItem* TProject::Restore(const std::string& id) {
    const auto removed = removed_.find(id);
    if (removed == removed_.end() || Find(id)) return nullptr;
    const bool picture = id[0] == 'p';
    std::vector<TItem>& list = picture ? pictures_ : sounds_;
    if (static_cast<int>(list.size()) >= (picture ? kMaxPictures : kMaxSounds)) return nullptr;
    const std::size_t index = std::min(removed->second.Index, list.size());
    list.insert(list.begin() + static_cast<std::ptrdiff_t>(index), removed->second.Item);
    removed_.erase(removed);
    (picture ? pictures_changed_ : sounds_changed_) = true;
    Save();
    return &list[index];
}

void TProject::OrderPictures(const std::vector<std::string>& ids) {
    std::vector<TItem> ordered;
    std::set<std::string> seen;
    for (const std::string& id : ids) {
        const auto it = std::find_if(pictures_.begin(), pictures_.end(),
                                     [&](const TItem& item) { return item.Id == id; });
        if (it == pictures_.end() || !seen.insert(id).second) throw EError(msg::kOrderIncomplete);
        ordered.push_back(*it);
    }
    if (ordered.size() != pictures_.size()) throw EError(msg::kOrderIncomplete);
    if (std::equal(ordered.begin(), ordered.end(), pictures_.begin(),
                   [](const TItem& a, const TItem& b) { return a.Id == b.Id; }))
        return;
    pictures_changed_ = true;
    pictures_ = std::move(ordered);
    Save();
}

json TProject::Entries(const std::vector<TItem>& items, const json& original,
                       const std::vector<int>& made, bool changed) const {
    if (!changed) return original;
    const json given = original.is_array() ? original : json::array({original});
    json entries = json::array();
    for (std::size_t i = 0; i < items.size();) {
        const int entry = items[i].Entry;
        std::size_t run = 1;
        while (entry >= 0 && i + run < items.size() && items[i + run].Entry == entry)
            ++run;
        // Every item an entry made, together and in their order (ids rise):
        // the entry as it was written.
        const bool edited = std::any_of(items.begin() + static_cast<std::ptrdiff_t>(i),
                                        items.begin() + static_cast<std::ptrdiff_t>(i + run),
                                        [](const TItem& item) { return item.Edited; });
        if (entry >= 0 && !edited &&
            static_cast<int>(run) == made[static_cast<std::size_t>(entry)] &&
            std::is_sorted(items.begin() + static_cast<std::ptrdiff_t>(i),
                           items.begin() + static_cast<std::ptrdiff_t>(i + run),
                           [](const TItem& a, const TItem& b) {
                               return a.Id.size() != b.Id.size() ? a.Id.size() < b.Id.size()
                                                                 : a.Id < b.Id;
                           })) {
            entries.push_back(given[static_cast<std::size_t>(entry)]);
            i += run;
            continue;
        }
        const TItem& item = items[i];
        if (item.Caption || item.IntervalMs) {
            json object = {{"file", item.Stored}};
            if (item.Caption) object["caption"] = *item.Caption;
            if (item.IntervalMs) object["seconds"] = *item.IntervalMs / 1000.0;
            entries.push_back(std::move(object));
        } else {
            entries.push_back(item.Stored);
        }
        ++i;
    }
    // Entries that made no item (not text, a folder without pictures) stay,
    // at the end.
    for (std::size_t e = 0; e < given.size(); ++e)
        if (e >= made.size() || made[e] == 0) entries.push_back(given[e]);
    return entries;
}

json TProject::Manifest() const {
    static const std::vector<int> kNone;
    auto made = [&](const char* key) {
        const auto it = made_.find(key);
        return it == made_.end() ? kNone : it->second;
    };
    json manifest = settings_;
    manifest["pictures"] = Entries(pictures_, original_.value("pictures", json::array()),
                                   made("pictures"), pictures_changed_);
    manifest["sound"] =
        Entries(sounds_, original_.value("sound", json::array()), made("sound"), sounds_changed_);
    return manifest;
}

void TProject::Save() const {
    const json manifest = Manifest();
    std::string text = "{";
    std::set<std::string> written;
    auto write = [&](const std::string& key, const std::string& value_text) {
        text += written.empty() ? "\n  " : ",\n  ";
        text += json(key).dump(-1, ' ', false, json::error_handler_t::replace) + ": " + value_text;
        written.insert(key);
    };
    auto fresh = [](const json& value) {
        std::string dumped = value.dump(2, ' ', false, json::error_handler_t::replace);
        for (std::size_t at = 0; (at = dumped.find('\n', at)) != std::string::npos; at += 3)
            dumped.replace(at, 1, "\n  ");
        return dumped;
    };
    for (const auto& [key, value_text] : original_text_)
        if (manifest.contains(key) && written.count(key) == 0)
            write(key, original_.contains(key) && original_[key] == manifest[key]
                           ? value_text
                           : fresh(manifest[key]));
    for (const auto& [key, value] : manifest.items())
        if (written.count(key) == 0) write(key, fresh(value));
    text += written.empty() ? "}\n" : "\n}\n";
    std::error_code error;
    fs::create_directories(PathOf(folder_), error);
    if (!ReplaceFileContents(manifest_path_, text))
        throw EError(msg::kCannotSaveProject, {manifest_path_, LastErrorText()});
}

TSSFileLocations TProject::Record() const {
    return Choices().Record;
}

TPackJob TProject::Choices() const {
    json choices = settings_;
    // Items are not needed for the record, and a missing one would fail.
    for (const char* items : {"pictures", "sound", "movie", "from", "stub"})
        choices.erase(items);
    return PackJobOf(ReadManifest(choices, folder_), false);
}

TPackJob TProject::Job(const std::string& output, const std::string& target) const {
    // The runtime decides what the saver runs: a shared project must not
    // choose it unseen.
    if (settings_.contains("stub"))
        throw EError(msg::kProjectNamesStub,
                     {settings_["stub"].dump(-1, ' ', false, json::error_handler_t::replace),
                      manifest_path_});
    TPackValues values = ReadManifest(Manifest(), folder_);
    values.Values["output"] = output;
    values.Values["target"] = target;
    values.Values["quiet"] = true;
    return PackJobOf(values, true);
}

std::string TProject::OutputName(const std::string& target) const {
    std::string name =
        settings_.contains("title") && settings_["title"].is_string() ? settings_["title"] : "";
    for (char& c : name)
        if (static_cast<unsigned char>(c) < 0x20 ||
            kReservedCharacters.find(c) != std::string_view::npos)
            c = '_';
    while (!name.empty() && (name.back() == '.' || name.back() == ' '))
        name.pop_back();
    while (!name.empty() && name.front() == ' ')
        name.erase(name.begin());
    if (name.size() > 100) {
        std::size_t cut = 100;
        while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80)
            --cut;
        name.resize(cut);
    }
    try {
        CheckedFileName(name);
    } catch (const EError&) {
        name = "Tevrin saver";
    }
    return target == "windows" ? name + ".scr" : name;
}

std::string TProject::BuildOutput(const std::string& target) const {
    const fs::path folder = PathOf(folder_);
    // Names that are the project's own (compared as Windows compares them).
    std::set<std::string> taken = {Folded(Utf8Of(PathOf(manifest_path_).filename())), "pictures",
                                   "sounds"};
    for (const std::vector<TItem>* list : {&pictures_, &sounds_})
        for (const TItem& item : *list)
            if (IsInside(folder, PathOf(item.Path)))
                taken.insert(Folded(Generic(PathOf(item.Path).lexically_normal().lexically_relative(
                    folder.lexically_normal()))));
    const json builds = settings_.value(kBuildsKey, json::array());
    auto ours = [&](const fs::path& path, const std::string& name) {
        if (!builds.is_array()) return false;
        for (const json& build : builds)
            if (build.is_object() && build.value("file", "") == name)
                return build.value("sha256", "") == SaverHash(path);
        return false;
    };
    const fs::path wanted = PathOf(OutputName(target));
    for (int n = 1; n < 1000; ++n) {
        const std::string name = n == 1 ? Utf8Of(wanted)
                                        : Utf8Of(wanted.stem()) + " (" + std::to_string(n) + ")" +
                                              Utf8Of(wanted.extension());
        if (taken.count(Folded(name)) > 0) continue;
        const fs::path path = folder / PathOf(name);
        std::error_code error;
        const fs::file_status status = fs::symlink_status(path, error);
        if (!fs::exists(status) || (fs::is_regular_file(status) && ours(path, name)))
            return Utf8Of(path);
    }
    throw EError(msg::kNoFreeSaverName, {folder_});
}

std::string TProject::PicturesKey() const {
    json made = json::array();
    for (const TItem& item : pictures_)
        made.push_back({item.Hash, item.Caption ? json(*item.Caption) : json(),
                        item.IntervalMs ? json(*item.IntervalMs) : json()});
    return Digest(made.dump());
}

std::string TProject::SettingsKey() const {
    json choices = settings_;
    choices.erase(kBuildsKey);
    return Digest(choices.dump());
}

std::string TProject::SaverHash(const fs::path& path) const {
    std::error_code error;
    const std::uintmax_t bytes = fs::file_size(path, error);
    const fs::file_time_type time = fs::last_write_time(path, error);
    if (error) return {};
    const std::string key = Utf8Of(path);
    const auto known = saver_hashes_.find(key);
    if (known != saver_hashes_.end() && known->second.Bytes == bytes && known->second.Time == time)
        return known->second.Hash;
    std::string hash = FileHash(path);
    saver_hashes_[key] = {bytes, time, hash};
    return hash;
}

std::string TProject::ContentKey() const {
    json manifest = Manifest();
    manifest.erase(kBuildsKey);
    return Digest(manifest.dump() + PicturesKey());
}

void TProject::RecordBuild(const std::string& path, const std::string& target) {
    const std::string name = Utf8Of(PathOf(path).filename());
    json builds = json::array();
    if (settings_.contains(kBuildsKey) && settings_[kBuildsKey].is_array())
        for (const json& build : settings_[kBuildsKey])
            if (!build.is_object() || build.value("file", "") != name) builds.push_back(build);
    std::error_code error;
    const std::uintmax_t bytes = fs::file_size(PathOf(path), error);
    builds.push_back({{"file", name},
                      {"sha256", SaverHash(PathOf(path))},
                      {"target", target},
                      {"bytes", error ? 0 : bytes},
                      {"time", UtcNowText()},
                      {"pictures", PicturesKey()},
                      {"settings", SettingsKey()}});
    while (builds.size() > static_cast<std::size_t>(kMaxBuilds))
        builds.erase(builds.begin());
    settings_[kBuildsKey] = builds;
    Save();
}

json TProject::Builds() const {
    json shown = json::array();
    const json builds = settings_.value(kBuildsKey, json::array());
    if (!builds.is_array()) return shown;
    const std::string pictures = PicturesKey(), settings = SettingsKey();
    for (auto build = builds.rbegin(); build != builds.rend(); ++build) {
        if (!build->is_object() || !(*build)["file"].is_string()) continue;
        const std::string file = (*build)["file"];
        try {
            CheckedFileName(file);
        } catch (const EError&) {
            continue;
        }
        json entry = *build;
        const fs::path path = PathOf(folder_) / PathOf(file);
        std::error_code error;
        entry["path"] = Utf8Of(path);
        entry["present"] = fs::is_regular_file(fs::symlink_status(path, error)) &&
                           build->value("sha256", "") == SaverHash(path);
        entry["pictures_changed"] = build->value("pictures", "") != pictures;
        entry["settings_changed"] = build->value("settings", "") != settings;
        shown.push_back(entry);
    }
    return shown;
}

} // namespace tevrin::studio
