#pragma once
// Found photos back into ordinary files.

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "diskio/sector_ranges.h"
#include "platform/platform.h"
#include "scan/found_photo.h"
#include "scan/host.h"
#include "scan/scan_report.h"

namespace kelvara {

// One photo could not be saved; the message says why, for the user.
class SaveError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The user asked to stop while a photo was being saved: nothing of it was left.
struct SaveStopped {};

// Reads photo `FileNum` again, a piece at a time (yielding after each), up to where it ends
// (see PhotoLength), and writes it as Folder + "\" + Prefix + number + Kind, shortening an
// earlier file of that name first. Yields before and after. Returns the path written. Throws
// SaveError (a DiskError's text included) when the index is outside the table, the drive
// cannot be read or ends inside the photo, or the file cannot be written. The file is written under
// a temporary name and takes its own only when whole; a stop asked for while it is written throws
// SaveStopped, after a piece at most. `zeros`, when given, receives the photo's sectors that could
// not be read, which the file holds as zeros.
std::string SaveFile(Platform& platform, Host& host, const FoundPhotoTable& table, std::int64_t FileNum,
                     const std::string& Folder, const std::string& Prefix, SectorRanges* zeros = nullptr);

struct SaveReport {
    std::string refused;               // why nothing was saved at all: the folder is on the card, or taken
    std::vector<std::string> written;  // paths, in order
    int failed = 0;
    bool stopped = false;              // the user asked to stop before every photo was saved
    std::string firstFailure;          // the reason of the first photo that failed
    std::vector<ZeroFilledFile> zeroFilled;  // saved files holding zeros where sectors could not be read
    SectorRanges unreadable;                 // all those sectors
};

// The Save and Save All buttons once the folder is chosen. A folder on the card the photos come
// from, or one another Kelvara is writing into, is refused with one message. Otherwise
// "Saveing" from here to the end, each index in turn, a failing photo skipped; then "Ready", and
// one message when any failed (SaveShortfall's) and one naming the files that hold zeros where
// sectors could not be read. What a Kelvara that was killed left in the folder goes first.
SaveReport SavePhotos(Platform& platform, Host& host, const FoundPhotoTable& table,
                      const std::vector<std::int64_t>& indexes, const std::string& Folder, const std::string& Prefix);

// What the user is told of a save that fell short: why nothing was saved, or how many were saved,
// how many failed and the first reason. nullopt when every photo asked for was saved (or the
// user stopped it, which the caller tells in its own words).
std::optional<std::string> SaveShortfall(const SaveReport& report);

// The end of the drive as the last scan knew it: no photo's bytes are read past it.
std::int64_t DriveEnd(const FoundPhotoTable& table);

// The drives the photos at these indexes are read from, each once: no destination may lie on them.
std::vector<std::string> PhotoDrives(const FoundPhotoTable& table, const std::vector<std::int64_t>& indexes);

}  // namespace kelvara
