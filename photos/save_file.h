#pragma once
// Found photos back into ordinary files.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "destination/destination.h"
#include "diskio/sector_ranges.h"
#include "photos/card_entry.h"
#include "platform/platform.h"
#include "scan/found_photo.h"
#include "scan/command_progress.h"
#include "scan/scan_report.h"

namespace kelvara {

// One photo could not be saved; the message says why, for the user.
class SaveError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// What became of one entry as it was saved, handed out at once: nothing of it is kept.
struct SavedEntry {
    std::int64_t index = 0;
    std::string name;  // its list entry: Prefix, number, kind
    // Whole or Incomplete: written to `path`, `bytes` long. Inside or NotAPhoto: nothing written.
    // Unknown: it could not be saved, `failure` says why.
    PhotoStatus status = PhotoStatus::Unknown;
    std::string path;
    std::uint64_t bytes = 0;
    std::int64_t container = -1;  // for one Inside: the photo holding it, when this save wrote it
    bool otherName = false;       // a different file had its name: it took the next free one
    bool alreadyThere = false;    // the same bytes were there under `path` already
    std::size_t pieces = 1;       // for one Whole: the pieces it was put back together from
    std::string failure;
    SectorRanges zeros;  // its sectors that could not be read: the file holds zeros there
    std::optional<CardFile> card;  // the card's entry it was named after
};
using SaveListener = std::function<void(const SavedEntry&)>;

// The user asked to stop while a photo was being saved: nothing of it was left.
struct SaveStopped {};

struct SaveReport {
    std::string refused;           // why nothing was saved at all: the folder is on the card, or taken
    std::int64_t saved = 0;        // files written
    std::int64_t incomplete = 0;   // of them, photos whose structure broke off: saved as far as it held together
    std::int64_t reassembled = 0;  // of them, photos saved whole from pieces found apart on the card
    std::int64_t inside = 0;       // entries inside another photo: saved with it only
    std::int64_t notPhotos = 0;    // entries with nothing of a picture: not saved
    std::int64_t otherNames = 0;   // of the saved, files that took another name: their own held other bytes
    std::int64_t alreadyThere = 0; // of the saved, files whose bytes were there under that name already
    int failed = 0;
    bool stopped = false;          // the user asked to stop before every photo was saved
    std::string firstFailure;      // the reason of the first photo that failed
    std::vector<std::string> firstIncomplete;  // the names of the first few incomplete photos
    // Saved files holding zeros where sectors could not be read (the first few thousand), and all
    // those sectors.
    std::vector<ZeroFilledFile> zeroFilled;
    SectorRanges unreadable;
};

// Saves photo `FileNum` on its own, as the Save button does (see SavePhotos), and returns the
// path written. Throws SaveError saying why when nothing was written: the index is outside the
// table, the entry is not a photo, the drive cannot be read or ends inside the photo, or the
// file cannot be written.
std::string SaveFile(Platform& platform, CommandProgress& progress, FoundPhotoTable& table, std::int64_t FileNum,
                     const std::string& Folder, const std::string& Prefix);

// The Save and Save All buttons once the folder is chosen. A folder on the card the photos come
// from, or one another Kelvara is writing into, is refused (the report says why). Otherwise each
// index in turn: each photo read again a piece at a time up to where it ends (see
// PhotoResolution: an entry inside an earlier photo asked for is not saved on its own, one whose
// structure breaks off is saved as far as it holds together), written as Folder + "\" + Prefix +
// number + Kind; a file of the user's under the name keeps it: the same bytes count as saved,
// other bytes make the photo take the next free name. A photo that fails is skipped. What a
// Kelvara that was killed left in the folder goes first. Each file is written under a temporary
// name and takes its own only when whole; a stop asked for takes effect within a piece. `each`
// hears of every entry as it is done; the statuses go into the table. `progress` counts the
// photos done (the bytes of a lone photo). With `card`, what the card's own file system says
// checks and names the photos (CardUse).
SaveReport SavePhotos(Platform& platform, CommandProgress& progress, FoundPhotoTable& table,
                      const std::vector<std::int64_t>& indexes, const std::string& Folder, const std::string& Prefix,
                      const SaveListener& each = {}, const CardUse& card = {});
// The same into a destination claimed already.
SaveReport SavePhotos(Platform& platform, CommandProgress& progress, FoundPhotoTable& table,
                      const std::vector<std::int64_t>& indexes, Destination& destination, const std::string& Prefix,
                      const SaveListener& each = {}, const CardUse& card = {});
// The same for every entry of the table, in order.
SaveReport SaveAllPhotos(Platform& platform, CommandProgress& progress, FoundPhotoTable& table, const std::string& Folder,
                         const std::string& Prefix, const SaveListener& each = {}, const CardUse& card = {});
// The same into a destination claimed already, before the card was read.
SaveReport SaveAllPhotos(Platform& platform, CommandProgress& progress, FoundPhotoTable& table, Destination& destination,
                         const std::string& Prefix, const SaveListener& each = {}, const CardUse& card = {});

// What the user is told of a save that fell short: why nothing was saved, or how many were saved,
// how many failed and the first reason. nullopt when every photo asked for was saved (or the
// user stopped it, which the caller tells in its own words).
std::optional<std::string> SaveShortfall(const SaveReport& report);

// The end of the drive as the last scan knew it: no photo's bytes are read past it.
std::int64_t DriveEnd(const FoundPhotoTable& table);

// The drives the photos at these indexes are read from (all of them when none are given), each
// once: no destination may lie on them.
std::vector<std::string> PhotoDrives(const FoundPhotoTable& table, const std::vector<std::int64_t>& indexes);
std::vector<std::string> PhotoDrives(const FoundPhotoTable& table);

}  // namespace kelvara
