// SPDX-License-Identifier: MIT
// Building a finished saver: runtime stub, picture records, sounds, movies,
// description record and trailer, in that order.
#pragma once

#include "base/System.h"
#include "gfx/Prepare.h"
#include "payload/SSFileLocations.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tevrin {

// One item to pack: a file, or bytes read from elsewhere (an existing
// saver's item).
struct TPackSource {
    // A file; its name is the file's name.
    TPackSource(const std::string& path); // NOLINT: paths convert implicitly
    TPackSource(const char* path) : TPackSource(std::string(path)) {} // NOLINT
    TPackSource(std::string name, std::string where, std::string file,
                std::function<std::vector<std::uint8_t>()> read)
        : Name(std::move(name)), Where(std::move(where)), File(std::move(file)),
          Read(std::move(read)), WholeFile(false) {}

    std::string Name;  // its file name, as the record lists it
    std::string Where; // what messages name: the path, or the saver and item
    std::string File;  // the file it is read from, which the output may not be
    std::function<std::vector<std::uint8_t>()> Read;
    // The item is the whole of File (not an item stored inside it).
    bool WholeFile = true;
    // A picture's own caption and time on screen, where it has them.
    std::optional<std::string> Caption;
    std::optional<int> IntervalMs;
};

struct TPackJob {
    std::string Stub; // the runtime executable put in front
    std::string Output;
    // Pictures of any format DecodeUpright reads, in show order.
    std::vector<TPackSource> Pictures;
    std::vector<TPackSource> Sounds;
    std::vector<TPackSource> Movies;
    // How pictures are stored (PreparePicture).
    TPictureLimits Limits;
    // Texts, font and choices; the pack fills in the item lists.
    TSSFileLocations Record{96};
};

// Called before each item is added: (items done, items in all, what).
using TPackProgress = std::function<void(int, int, const std::string&)>;

// The record lists each picture's caption ("CaptionCommaList") when any
// picture has one, and each picture's time ("IntervalCommaList") when any
// has one; otherwise neither list is stored.
//
// Writes the saver to a temporary file of its own beside the output and
// renames it into place only when complete, so no half-written saver is ever
// left and no other file is touched. The output may not be a folder or one
// of the files read (the stub, an item, the saver repacked). Every picture
// must decode; sound and movie names must be plain file names and
// distinct (they become the names of files extracted side by side); every
// offset must stay below 2^31. Raises EError with the reason, naming the
// item at fault.
void PackSaver(TPackJob job, const TPackProgress& progress = {});

// Picture files in show order: files as given, a folder's pictures (by
// their extensions) in natural name order (so "2.jpg" before "10.jpg"),
// with `recursive` its subfolders' too. A folder without pictures fails.
std::vector<std::string> ExpandPicturePaths(const std::vector<std::string>& paths, bool recursive);

// The pictures, sounds and movies of an existing saver (ours or a classic
// builder's) as pack sources, and its record. Only what the saver itself
// would read is taken (PlacePayloadItems): an item outside the payload or
// overlapping another is left out, and a picture listed again is taken
// once; Skipped names each item left out and why.
struct TSaverContents {
    TSSFileLocations Record{96};
    std::vector<TPackSource> Pictures, Sounds, Movies;
    std::vector<std::string> Skipped;
};
TSaverContents ReadSaverContents(const std::string& path);

} // namespace tevrin
