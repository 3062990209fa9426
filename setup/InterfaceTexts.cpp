// SPDX-License-Identifier: MIT
#include "setup/InterfaceTexts.h"

#include "base/Paths.h"
#include "base/System.h"

#include <filesystem>
#include <system_error>

namespace tevrin {

std::string InterfaceTextsPath(const std::string& exe_path) {
    return ExtractFilePath(exe_path) + kInterfaceTextsFile;
}

TDialogTexts LoadDialogTexts(const std::string& exe_path) {
    TDialogTexts texts;
    std::string path = InterfaceTextsPath(exe_path);
    std::error_code error;
    if (!std::filesystem::exists(path, error)) return texts;
    auto read = [&](const char* key, const char* fallback) {
        return ReadIniString(path, kLanguageSection, key, fallback);
    };
    texts.Title = read("Title", "Title:");
    texts.Author = read("Author", "Author:");
    texts.Email = read("Email", "Email:");
    texts.Web = read("Web", "Web address:");
    texts.OK = read("btnOK", "OK");
    texts.MuteMusic = read("MuteMusic", "Mute music");
    texts.PicturesFolder = read("PicturesFolder", "Pictures folder\u2026");
    return texts;
}

std::string LoadDownloadSwfText(const std::string& exe_path) {
    return ReadIniString(InterfaceTextsPath(exe_path), kLanguageSection, "DownloadSWF",
                         kDefaultDownloadSwf);
}

} // namespace tevrin
