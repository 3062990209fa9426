// SPDX-License-Identifier: MIT
// `tevrin show PATH...`: the player. Folders, pictures, a saver or a
// manifest, with pack's show choices, are made into a saver for this
// system in a folder of its own (folders as a folder saver's, looked
// through as they play), which the runtime then plays in its player mode
// (`--player`); the folder goes when the player ends.
#pragma once

#include "tools/PackCommand.h"

#include <string>
#include <vector>

namespace tevrin {

struct TShowJob {
    TPackArgs Pack;          // the paths (in Pack.pictures) and the choices
    bool FullScreen = false; // else a window
    // Passed on to the runtime: --size, and a headless run's --platform,
    // --seconds, --dump, --screens (the tool's --desktop) and --keys.
    std::vector<std::string> RunOptions;
};

// What the player is made from, sorted from the job's paths: folders,
// picture files, and at most one saver (as "from") or manifest. Raises
// EError for a second saver or manifest.
TPackValues ShowValuesOf(TShowJob& job);

// Makes the saver, plays it and removes it; the runtime's exit code.
int RunShow(TShowJob& job);

} // namespace tevrin
