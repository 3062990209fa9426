// SPDX-License-Identifier: MIT
#include "tools/Show.h"

#include "base/Errors.h"
#include "base/Paths.h"
#include "base/System.h"
#include "base/Unicode.h"
#include "payload/Payload.h"
#include "tools/Pack.h"
#include "tools/PackChoices.h"
#include "tools/Runtime.h"

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <random>

namespace tevrin {
namespace fs = std::filesystem;

namespace {

bool IsSaverFile(const std::string& path) {
    TSSFileLocations record(96);
    try {
        return ReadSaverRecord(path, record);
    } catch (const EError&) {
        return false;
    }
}

// The saver's name says what it plays, so a folder played again finds the
// index its last run kept (kept per user, by saver name).
std::string SaverName(const std::vector<std::string>& paths) {
    std::string all;
    for (const std::string& path : paths)
        all += path + '\n';
    const auto digest = Sha256(all.data(), all.size());
    std::string name = "show-";
    static constexpr char kHex[] = "0123456789abcdef";
    for (int i = 0; i < 6; ++i) {
        name += kHex[digest[i] >> 4];
        name += kHex[digest[i] & 15];
    }
    const bool windows = FindPackChoice("target")->Default.get<std::string>() == "windows";
    return name + (windows ? ".scr" : "");
}

// A folder of this run's own under the temporary folder.
fs::path RunFolder() {
    std::random_device random;
    const fs::path base = PathOf(GetTempDir());
    for (int attempt = 0; attempt < 100; ++attempt) {
        const fs::path folder = base / ("tevrin-show-" + std::to_string(CurrentProcessId()) + "-" +
                                        std::to_string(random() % 1000000));
        std::error_code error;
        if (fs::create_directory(folder, error)) return folder;
    }
    throw EError(msg::kCannotWrite, {Utf8Of(base), "no folder of its own could be made there"});
}

} // namespace

TPackValues ShowValuesOf(TShowJob& job) {
    std::vector<std::string> folders, pictures, absolute;
    std::string source; // the saver or manifest
    bool manifest = false;
    for (const std::string& path : job.Pack.pictures) {
        std::error_code error;
        const std::string full = Utf8Of(fs::absolute(PathOf(path), error).lexically_normal());
        absolute.push_back(full);
        if (fs::is_directory(PathOf(path), error)) {
            folders.push_back(full);
            continue;
        }
        const bool is_saver = IsSaverFile(path);
        std::string extension = Utf8Of(PathOf(path).extension());
        for (char& c : extension)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        const bool is_manifest = !is_saver && extension == ".json";
        if (!is_saver && !is_manifest) {
            pictures.push_back(path);
            continue;
        }
        if (!source.empty()) throw EError(msg::kShowOneSource, {source, path});
        source = path;
        manifest = is_manifest;
    }
    job.Pack.pictures = pictures;
    TPackValues given = PackValuesOf(job.Pack);
    TPackValues values;
    if (manifest) values = ReadManifest(source);
    for (const auto& [key, value] : given.Values.items())
        MergeChoiceValue(values.Values, *FindPackChoice(key), value);
    values.Pictures.insert(values.Pictures.end(), given.Pictures.begin(), given.Pictures.end());
    if (!source.empty() && !manifest) values.Values["from"] = source;
    if (!folders.empty())
        MergeChoiceValue(values.Values, *FindPackChoice("folder"), nlohmann::json(folders));
    // Whatever a manifest says, the player makes a saver for this system.
    for (const char* key : {"output", "target", "stub", "xscreensaver-config"})
        values.Values.erase(key);
    values.Values["output"] = SaverName(absolute);
    return values;
}

int RunShow(TShowJob& job) {
    TPackValues values = ShowValuesOf(job);
    const fs::path folder = RunFolder();
    struct TRemove {
        fs::path Folder;
        ~TRemove() {
            std::error_code error;
            fs::remove_all(Folder, error);
        }
    } remove{folder};
    const std::string saver = Utf8Of(folder / PathOf(values.Values["output"].get<std::string>()));
    values.Values["output"] = saver;
    TPackJob pack = PackJobOf(values);
    if (pack.Pictures.size() > 1)
        std::fprintf(stderr, "Preparing %zu pictures\n", pack.Pictures.size());
    PackSaver(std::move(pack));
    std::vector<std::string> arguments{saver, "--player"};
    if (job.FullScreen) arguments.push_back("--full-screen");
    arguments.insert(arguments.end(), job.RunOptions.begin(), job.RunOptions.end());
    const int code = RunProgram(saver, arguments);
    if (code < 0) throw EError(msg::kCannotStartPlayer, {saver});
    return code;
}

} // namespace tevrin
