// SPDX-License-Identifier: MIT
// A Studio project: the pictures, sounds and choices of one saver, kept as
// the JSON manifest that `tevrin pack --manifest` reads, in a folder of its
// own. What the page sends is stored under the folder's pictures/ and
// sounds/; the project writes nothing outside its folder.
#pragma once

#include "base/Errors.h"
#include "payload/SSFileLocations.h"
#include "tools/Pack.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tevrin::studio {

// What one upload may hold, and how many items a project may have.
inline constexpr std::size_t kMaxUploadBytes = std::size_t{100} << 20;
inline constexpr int kMaxPictures = 1000;
inline constexpr int kMaxSounds = 50;

// A picture or sound of the project.
struct TItem {
    std::string Id;     // unique within the session ("p3", "s1"); an item never changes
    std::string Path;   // the file, in full
    std::string Stored; // as the manifest names it: relative inside the folder
    std::string Name;   // its file name
    std::string Hash;   // SHA-256 of its bytes in hex: the key of what is made from it
    std::uint64_t Bytes = 0;
    int Width = 0, Height = 0; // a picture's size standing upright
    std::string Format;        // "JPEG", "PNG", ...
    bool Cmyk = false;         // a JPEG of four inks, which the pack converts to RGB
    std::string ColoursFrom;   // the colour profile the pack converts from; empty for sRGB
    std::string Problem;       // why it cannot be used (missing, unreadable); empty when fine
    int Entry = -1;            // the manifest's entry it came from; -1 when the page added it
    // A picture's own caption and time on screen, where it has them; Edited
    // once the page changed them.
    std::optional<std::string> Caption;
    std::optional<int> IntervalMs;
    bool Edited = false;
    // What a caption template fills in for a picture: when it was taken
    // (else its file's time) and its own title.
    std::optional<TDateTime> Date;
    std::string Title;
};

// What a picture file is: its format and its size standing upright.
struct TPictureFacts {
    std::string Format;
    int Width = 0, Height = 0;
    bool Cmyk = false;
    std::string ColoursFrom; // OtherColoursOf
    std::string Hash;        // SHA-256 of the bytes in hex (read with `read_all`)
};
// Reads them from the picture's bytes, which are decoded whole once (a JPEG
// at a reduced scale), so data that ends early is refused here; without
// `read_all` a JPEG is read by its header alone, and the bytes are not
// hashed. Raises "Cannot read picture NAME: why".
TPictureFacts ReadPictureFacts(const std::string& name, std::span<const std::uint8_t> bytes,
                               bool read_all = true);

// A setting the page sent that cannot be taken, with its key.
class ESettingRefused : public EError {
public:
    ESettingRefused(std::string key, const std::string& text)
        : EError(text), key_(std::move(key)) {}
    const std::string& Key() const { return key_; }

private:
    std::string key_;
};

class TProject {
public:
    // Opens the manifest at `manifest_path`, or starts a project with our
    // defaults that will be saved there. Raises EError for a manifest that
    // cannot be read or is no JSON object.
    explicit TProject(const std::string& manifest_path, std::size_t max_upload = kMaxUploadBytes);

    const std::string& ManifestPath() const { return manifest_path_; }
    const std::string& Folder() const { return folder_; }
    // The choices, by pack's long option names ("title", "fit", "styles").
    const nlohmann::json& Settings() const { return settings_; }
    // Takes the choices the page edits; every other manifest key is kept.
    // Raises ESettingRefused for the first bad value (a caption template in
    // error is the key "caption"); nothing changes then.
    void SetSettings(const nlohmann::json& settings);

    const std::vector<TItem>& Pictures() const { return pictures_; }
    // The pictures as a build shows them: a picture without a caption of its
    // own gets the one the caption template ("caption") makes, if any.
    std::vector<TItem> ShownPictures() const;
    const std::vector<TItem>& Sounds() const { return sounds_; }
    const TItem* Find(const std::string& id) const;

    // Stores a file the page sent under pictures/ or sounds/ and lists it
    // last. `name` must be a plain file name (CheckedFileName); a picture
    // must decode. A file of the same name and other content is stored
    // under a numbered name; the same content is listed again without a
    // second copy. Raises EError naming the file and the reason.
    const TItem& AddPicture(const std::string& name, std::span<const std::uint8_t> bytes);
    // The same with the picture's facts read already (ReadPictureFacts), so
    // that nothing is decoded here.
    const TItem& AddPicture(const std::string& name, std::span<const std::uint8_t> bytes,
                            const TPictureFacts& facts);
    const TItem& AddSound(const std::string& name, std::span<const std::uint8_t> bytes);
    // The listed picture whose file has this SHA-256 (TPictureFacts::Hash),
    // if any.
    const TItem* SamePicture(const std::string& hash) const;
    // Takes an item off the list (its file stays). False when unknown.
    bool Remove(const std::string& id);
    // Puts an item Remove took off back where it was (or last, when the
    // list is shorter now). Nothing when it was not removed in this session
    // or the list is full.
    const TItem* Restore(const std::string& id);
    // Sets a picture's own caption and time (nothing: none of its own).
    // Raises EError for an unknown picture, a caption that is no UTF-8 text
    // or too long, or a time outside 0 .. 86400 s.
    void SetPictureDetails(const std::string& id, std::optional<std::string> caption,
                           std::optional<int> interval_ms);
    // Puts the pictures in the order of `ids`, which must name each once.
    void OrderPictures(const std::vector<std::string>& ids);

    // The manifest as it is saved: every key as the user wrote it but those
    // a change touched. Pictures and sounds, until they change, are the
    // entries as written (folders, relative paths and all); after, a folder
    // whose pictures are all still there in their order stays one entry.
    nlohmann::json Manifest() const;
    // Writes the manifest in one step (the old one or the new, never a part).
    // Keys come in the order the user wrote them, and each value nothing
    // changed is written as the very text it was read from (so numbers that
    // JSON readers round are kept to the digit). Opening never writes.
    void Save() const;
    // Whether the manifest is on the disk (a new project's is not, until
    // its first Save).
    bool Exists() const;
    // The record the choices make, as pack makes it, without items.
    TSSFileLocations Record() const;
    // The same job without items: the record and the pack's limits.
    TPackJob Choices() const;
    // The job `tevrin pack --manifest MANIFEST -o OUTPUT --target TARGET`
    // runs on this manifest. Raises EError as pack does (a missing picture,
    // no runtime for the target).
    TPackJob Job(const std::string& output, const std::string& target) const;
    // The file name a built saver gets: its title made a safe file name,
    // with ".scr" for Windows and nothing for Linux.
    std::string OutputName(const std::string& target) const;
    // Where a build for `target` writes its saver, in full: the folder's
    // file of OutputName when it is free or an earlier build of this
    // project wrote it (and nobody changed it since), else the first free
    // "NAME (2)", "NAME (3)" ... A build never writes over the manifest,
    // the pictures/ and sounds/ folders, a file the project lists or any
    // other file of the user's.
    std::string BuildOutput(const std::string& target) const;
    // Notes a saver a build wrote for `target` into the build history (the
    // manifest's "_builds", which pack passes over: file, SHA-256, target,
    // bytes, time and what it was built from) and saves the manifest. The
    // history keeps the last kMaxBuilds savers, one entry a file.
    void RecordBuild(const std::string& path, const std::string& target);
    static constexpr int kMaxBuilds = 20;
    // The history, newest first, each entry as written, with "path" (its
    // file in full), "present" (the file there is still the one built),
    // "pictures_changed" and "settings_changed" (since that build). Entries
    // whose file name is no plain name of this folder are passed over.
    nlohmann::json Builds() const;
    // What a build is made from: the pictures (content, order, captions,
    // times) and the choices, each as a digest.
    std::string PicturesKey() const;
    std::string SettingsKey() const;
    // The whole project as the page edits it (the manifest but its build
    // history), as a digest: equal keys, equal projects.
    std::string ContentKey() const;

private:
    // The item of a file; `known` are its bytes, and `facts` a picture's,
    // when they are at hand.
    TItem MakeItem(const std::string& path, char kind,
                   std::optional<std::span<const std::uint8_t>> known = std::nullopt,
                   const TPictureFacts* facts = nullptr, const std::string* hash = nullptr) const;
    const TItem& Add(std::vector<TItem>& list, const char* folder, char kind, int limit,
                     const std::string& name, std::span<const std::uint8_t> bytes,
                     const TPictureFacts* facts);

    // The list a manifest's key makes, as it is to be saved.
    // `made` holds how many items each entry made when the project opened.
    nlohmann::json Entries(const std::vector<TItem>& items, const nlohmann::json& original,
                           const std::vector<int>& made, bool changed) const;

    std::string manifest_path_, folder_;
    nlohmann::json settings_ = nlohmann::json::object();
    std::vector<TItem> pictures_, sounds_;
    // The manifest as read: its keys in their order with the text of each
    // value, and the values; and whether the page changed the lists.
    std::vector<std::pair<std::string, std::string>> original_text_;
    nlohmann::json original_ = nlohmann::json::object();
    bool pictures_changed_ = false, sounds_changed_ = false;
    std::map<std::string, std::vector<int>> made_; // by key: the items each entry made
    std::size_t max_upload_;
    mutable int next_id_ = 1;
    // Items Remove took off in this session, with where they were.
    struct TRemoved {
        TItem Item;
        std::size_t Index;
    };
    std::map<std::string, TRemoved> removed_;
    // A saver's SHA-256, kept while its file keeps its size and time: the
    // build history is shown on every load of the page.
    std::string SaverHash(const std::filesystem::path& path) const;
    struct THashed {
        std::uintmax_t Bytes;
        std::filesystem::file_time_type Time;
        std::string Hash;
    };
    mutable std::map<std::string, THashed> saver_hashes_;
};

// `name` as a file of the project may be called: a plain name (no folder
// part, no "." or "..", no device name such as CON or LPT1, no character
// that a system's file names refuse, at most 200 bytes of UTF-8). Raises
// EError otherwise.
std::string CheckedFileName(const std::string& name);

// The project file a command line names: a manifest (NAME.json), or else a
// folder (its project.json, the folder made when missing); none is the
// folder "Tevrin Studio" in the home folder.
std::string ProjectManifestPath(const std::string& given);

} // namespace tevrin::studio
