// SPDX-License-Identifier: MIT
// `tevrin install` and `tevrin uninstall`: a finished saver made the user's
// screen saver, without root. On Linux the saver goes to
// ~/.local/share/tevrin/savers/ and into xscreensaver's `programs:` list; on
// Windows to %LOCALAPPDATA%\Tevrin\Savers\ and into the user's desktop
// settings, as the system's own Install does. What an install changed is
// kept in installs.json beside the savers, so uninstall puts it back.
#pragma once

#include <cstdio>
#include <optional>
#include <string>

namespace tevrin {

struct TInstallJob {
    std::string Saver;
    // Linux: the saver becomes the only one xscreensaver runs.
    bool Only = false;
};

// Both print what they did to `out`, and raise EError for a file that is no
// saver, one built for the other system, or a name that is not installed.
void RunInstall(const TInstallJob& job, std::FILE* out);
void RunUninstall(const std::string& name, std::FILE* out);

// The editing of an xscreensaver preferences text (~/.xscreensaver), kept
// apart so it can be checked without a daemon. Lines we do not add are kept
// byte for byte.
struct TXScreensaverEdit {
    std::string Text;
    // The entry's place in the programs list, counting disabled entries, as
    // `selected:` counts them.
    int Index = -1;
    // `mode:` and `selected:` as they were before, when the edit changed them.
    std::optional<std::string> PreviousMode, PreviousSelected;
};

// `prefs` with `entry` (one program, as a `programs:` line holds it) added at
// the end of the list; with `only`, also selected as the one saver.
// `defaults` is the system's resource file, whose programs are copied when
// `prefs` has no list of its own.
TXScreensaverEdit AddXScreensaverProgram(const std::string& prefs, const std::string& entry,
                                         bool only, const std::string& defaults);

// `prefs` without the entries that run `command`. `mode:` and `selected:`
// get back the values an install replaced while they still hold what it set,
// and a selection behind a removed entry moves up with its program.
std::string RemoveXScreensaverProgram(const std::string& prefs, const std::string& command,
                                      const std::optional<std::string>& previous_mode,
                                      const std::optional<std::string>& previous_selected);

// The `programs:` line of a saver at `path` under the title `title`.
std::string XScreensaverEntry(const std::string& title, const std::string& path);

} // namespace tevrin
