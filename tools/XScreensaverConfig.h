// SPDX-License-Identifier: MIT
// The settings description that lists a saver among xscreensaver's display
// modes: a small XML file named after the program, installed beside the
// others (/usr/share/xscreensaver/config/).
#pragma once

#include "payload/SSFileLocations.h"

#include <string>

namespace tevrin {

// The description of the saver program `program` (its file name) packed
// with `record`'s texts and `pictures` pictures. The daemon starts it with
// --root and hands it its window through $XSCREENSAVER_WINDOW.
std::string XScreensaverConfig(const TSSFileLocations& record, int pictures,
                               const std::string& program);

// Where the description of the saver file `saver` goes: beside it, its
// name with ".xml".
std::string XScreensaverConfigPath(const std::string& saver);

} // namespace tevrin
