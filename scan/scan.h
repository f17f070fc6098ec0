#pragma once
// The two scans of a drive for photos. Both test every sector from 0 to the drive's total,
// record what they find in the table and the list, end with the summary, and report what
// happened.

#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "diskio/sector_source.h"
#include "platform/platform.h"
#include "scan/found_photo.h"
#include "scan/host.h"
#include "scan/scan_report.h"

namespace kelvara {

struct ScanContext {
    Platform& platform;
    Host& host;
    FoundPhotoTable& table;
    const std::string& prefix;
    KindSet kinds = KindSet::All();  // what is looked for: every format, unless fewer are asked for
    // Hears of the sectors each read of the NT scan brought in (its first sector, its bytes), so
    // another look at the card's bytes needs no read of its own.
    std::function<void(std::int64_t, std::span<const std::uint8_t>)> sectorsRead = {};
    // The card as the command holds it open, read on by what follows the scan; without it the
    // scan opens its own.
    SectorSource* source = nullptr;
};

// The NT family: the total from the sector label, fifty long runs and a final read.
ScanReport ScanWinNT(const ScanContext& context);

// The 9x family: the total from the drive's size, the first ten bytes of one sector per read (and
// the head of a sector where those start a format that names its file by more).
ScanReport ScanWin98(const ScanContext& context);

}  // namespace kelvara
