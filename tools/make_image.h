#pragma once
// A raw image of the whole drive: sector 0, 1, 2... back to back in Folder\TOBRN.IMG.

#include <cstdint>
#include <string>

#include "diskio/sector_ranges.h"
#include "destination/destination.h"
#include "platform/platform.h"
#include "diskio/sector_source.h"
#include "scan/command_progress.h"

namespace kelvara {

struct ImageReport {
    std::string path;                 // TOBRN.IMG, or TOBRN.IMG.partial when the image fell short
    std::int64_t total = 0;           // sectors asked for
    std::int64_t sectorsWritten = 0;  // sectors the file holds
    bool created = false;             // the file is there: it holds sectorsWritten sectors
    bool complete = false;
    std::string failure;              // what failed, when not complete
    SectorRanges unreadable;          // sectors the file holds as zeros: they could not be read
};

// "The image <path> is incomplete: it holds N of T sectors." with the path as the caller shows it.
std::string IncompleteImageText(const ImageReport& report, const std::string& shownPath);

// Copies the first `total` sectors of `card` into the destination, claimed for that card's drive,
// with `progress` counting the sectors done, one step per sector. The image is written under a
// temporary name and becomes TOBRN.IMG, in place of an earlier one, only when it is whole. On a
// failure (or a stop asked for, seen after each MiB) the run stops, and what was copied is kept
// as TOBRN.IMG.partial; the report says how far it got.
ImageReport MakeImage(SectorSource& card, std::int64_t total, Destination& destination, CommandProgress& progress);

}  // namespace kelvara
