#pragma once
// The two scans of a drive for photos. Both test every sector from 0 to the drive's total,
// record what they find in the table, and report what happened; the front end tells the user.

#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "diskio/sector_source.h"
#include "platform/platform.h"
#include "scan/found_photo.h"
#include "scan/command_progress.h"
#include "scan/scan_report.h"

namespace kelvara {

struct ScanContext {
    Platform& platform;
    CommandProgress& progress;  // counts the sectors tested
    FoundPhotoTable& table;
    // The card as the command holds it open, read on by what follows the scan.
    SectorSource& source;
    // The drive's size in sectors as the front end shows it.
    std::int64_t sectors;
    KindSet kinds = KindSet::All();  // what is looked for: every format, unless fewer are asked for
    // Hears of the sectors each read of the NT scan brought in (its first sector, its bytes), so
    // another look at the card's bytes needs no read of its own.
    std::function<void(std::int64_t, std::span<const std::uint8_t>)> sectorsRead = {};
};

// The NT family: the total is the drive's size, read in fifty long runs and a final read.
ScanReport ScanWinNT(const ScanContext& context);

// The 9x family: the total from the drive's size (never past `sectors`), the first ten bytes of
// one sector per read (and the head of a sector where those start a format that names its file
// by more).
ScanReport ScanWin98(const ScanContext& context);

}  // namespace kelvara
