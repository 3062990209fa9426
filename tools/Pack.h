// Building a finished saver: runtime stub, picture records, sounds, movies,
// description record and trailer, in that order.
#pragma once

#include "payload/SSFileLocations.h"

#include <functional>
#include <string>
#include <vector>

namespace tevrin {

struct TPackJob {
    std::string Stub;                   // the runtime executable put in front
    std::string Output;
    std::vector<std::string> Pictures;  // JPEG or PNG files, in show order
    std::vector<std::string> Sounds;
    std::vector<std::string> Movies;
    // Texts, font and choices; the pack fills in the item lists.
    TSSFileLocations Record{96};
};

// Called before each item is added: (items done, items in all, what).
using TPackProgress = std::function<void(int, int, const std::string&)>;

// Writes the saver to a temporary file beside the output and renames it into
// place only when complete, so no half-written saver is ever left. Every
// picture must decode; sound and movie names must be plain file names and
// distinct (they become the names of files extracted side by side); every
// offset must stay below 2^31. Raises EError with the reason.
void PackSaver(TPackJob job, const TPackProgress& progress = {});

} // namespace tevrin
