// SPDX-License-Identifier: MIT
// The saver's start-up: the command line settles the mode, password change
// and preview are handled here, the instance guard keeps a second instance
// out, and the main window of the mode runs the message loop.
#pragma once

#include "app/CommandLine.h"
#include "saver/SaverWindow.h"
#include "ui/Application.h"

#include <string>
#include <vector>

namespace tevrin {

// Runs the process's mode on `app` with the saver file `own_path`; returns
// the exit code. `temp_parent` and `user_dir` are for tests (empty: the
// system's folders).
int RunSaver(TApplication& app, const std::vector<std::string>& args, const std::string& own_path,
             const std::string& temp_parent = {}, const std::string& user_dir = {});

// Plays the saver file `own_path` in the player (saver/SaverWindow.h) until
// it is ended; returns the exit code. Several players may run at once.
int RunPlayer(TApplication& app, const std::string& own_path, const TPlayerOptions& options,
              const std::string& temp_parent = {}, const std::string& user_dir = {});

} // namespace tevrin
