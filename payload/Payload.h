// SPDX-License-Identifier: MIT
// The payload operations of a running saver: load (trailer, record, copying
// out sounds and movies), picture fetch and removal of the copied files.
// Each opens the saver file and closes it again before it returns.
#pragma once

#include "payload/Image.h"
#include "payload/SSFileLocations.h"
#include "payload/TempFolder.h"

#include <memory>
#include <string>
#include <vector>

namespace tevrin {

struct TLoadOutcome {
    enum TResult {
        Loaded,
        // The trailer could not be read: nothing was extracted and the
        // record keeps its defaults.
        TrailerMissing,
        // The record failed to read: the caller must request termination.
        // The record holds what was read before the error, and the sounds
        // and movies it lists were extracted all the same.
        RecordUnreadable,
    };
    TResult Result = Loaded;
    std::string Error; // the reader's message, with RecordUnreadable
    // The sounds and movies that were not copied out, each with its error
    // text; the show goes on without them.
    std::vector<std::string> Skipped;
};

// Fills `record` from the saver file at `path` and copies its sounds and
// movies into `temp`. Raises "Cannot open file %s" when the saver cannot be
// opened. Each sound and movie is copied only when its bytes lie inside the
// payload and overlap no picture record, the record itself or another item,
// so what is copied never exceeds the payload's own length; any other is
// passed over with "Stream read error" in Skipped, as is one whose name or
// size is missing ("Index is out of bounds"). A copy that fails (a full
// disk) is deleted, noted as "Cannot create file %s" with the path and the
// system's reason, and ends the copying. Merging the stored mute setting is
// the caller's next step.
TLoadOutcome LoadPayload(const std::string& path, TSSFileLocations& record, TTempFolder& temp);

// Which of a saver's items may be read, by the rules LoadPayload copies
// sounds and movies out by: an item must lie inside the payload (between
// the runtime's end and the trailer) and overlap no picture record, the
// description record or an item before it. A picture record must lie inside
// the payload too and overlap neither the description record nor another
// picture, except that one listed again at the same offset is that picture
// once more. One entry per listed item; a usable one has an empty Why.
struct TItemPlace {
    std::int64_t Offset = 0, Length = 0;
    std::string Why;       // the reason it may not be read
    bool Unlisted = false; // its offset, size or name is missing: Why is that error
    int SameAs = -1;       // a picture listed again: the index it repeats
};
struct TPayloadPlaces {
    std::vector<TItemPlace> Pictures, Sounds, Movies;
};
TPayloadPlaces PlacePayloadItems(const std::string& path, const TSSFileLocations& record);

// A new picture record read from the stream at PicOffset(index).
std::unique_ptr<TImage> FetchPicture(const std::string& path, const TSSFileLocations& record,
                                     int index);

// The first picture record of the payload, found through the trailer's
// payload length alone (the preview's way). Nothing when the trailer is
// short; raises when the file cannot be opened or the payload does not start
// with a picture record.
std::unique_ptr<TImage> ReadFirstPicture(const std::string& path);

// Deletes the copied sounds and movies by their names, and the run folder.
// A file that cannot be deleted is passed over.
void RemoveExtractedFiles(const TSSFileLocations& record, TTempFolder& temp);

// Reads the stream at the file's current position into `record`.
void ReadRecord(TFile& file, TSSFileLocations& record);
// Reads the record a saver's trailer points to into `record`. False, with
// `record` untouched, when the file has no trailer; raises when the file
// cannot be opened or the record cannot be read.
bool ReadSaverRecord(const std::string& path, TSSFileLocations& record);

} // namespace tevrin
