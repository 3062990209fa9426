// SPDX-License-Identifier: MIT
// What the system asks for when it starts the saver: the first two
// command-line arguments, upper-cased, settle the mode.
//
//   first argument                         mode
//   "/A..", "-A..", "A.."                  change password (second: parent window)
//   "/P..", "-P..", "P.."                  preview (second: preview window)
//   "/C..", "-C..", "C..", empty           settings
//   anything else ("/S" included)          saver
#pragma once

#include "ui/Platform.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tevrin {

enum TSaverMode : std::uint8_t { smChangePassword, smPreview, smSettings, smSaver };

struct TCommandLine {
    TSaverMode Mode = smSaver;
    std::string First, Second; // upper-cased; empty when missing
};

// Only the letters a to z change.
std::string UpperAscii(std::string text);

// `args` as the platform split them, without the program's own name.
TCommandLine ParseCommandLine(const std::vector<std::string>& args);

// The window handle of the second argument, by the stored-number rules;
// nothing when it does not convert completely (the process then ends).
std::optional<TWindowId> ParseWindowHandle(std::string_view text);

// The instance guard's name: the program file's name, extension included,
// followed by "Semaphore".
std::string InstanceGuardName(std::string_view own_path);

} // namespace tevrin
