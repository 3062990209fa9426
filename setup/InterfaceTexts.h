// SPDX-License-Identifier: MIT
// Texts shown to the user that "tevrin.ini" beside the executable may
// replace (section "Language"), for example with a translation.
#pragma once

#include <string>

namespace tevrin {

inline constexpr const char* kInterfaceTextsFile = "tevrin.ini";
inline constexpr const char* kLanguageSection = "Language";
inline constexpr const char* kDefaultDownloadSwf =
    "Please install the Macromedia Flash Player ActiveX control.";

// The settings dialog's texts. Without the file the dialog keeps the texts
// it is built with; with it, a missing key gives the key's own default,
// which differs from the built-in text only for the OK button ("OK" against
// "&Ok").
struct TDialogTexts {
    std::string Title = "Title:";
    std::string Author = "Author:";
    std::string Email = "Email:";
    std::string Web = "Web address:";
    std::string OK = "&Ok";
    std::string MuteMusic = "Mute music";
    // Only a folder saver's dialog has the folder choice.
    std::string PicturesFolder = "Pictures folder\u2026";
};

std::string InterfaceTextsPath(const std::string& exe_path);
TDialogTexts LoadDialogTexts(const std::string& exe_path);
// The question asked when the movie player is missing; a missing file gives
// the default.
std::string LoadDownloadSwfText(const std::string& exe_path);

} // namespace tevrin
