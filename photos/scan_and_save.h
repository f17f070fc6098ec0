#pragma once
// Save All reading the card once: the scan and the save as one pipeline. The scan reads the card
// in order; a save going along behind it (SaveAlongScan) is served what the scan read from a
// window of the latest bytes (CardWindow) and saves each entry as soon as the scan has passed
// it, so a photo's bytes come from the card once. What a walk of a photo still open needs from
// further on is waited for while the scan reads on to it. Read again are only what needs bytes
// from elsewhere: a photo put back together from pieces found apart (after the scan, as its
// search looks across the whole card), a chain or a folder of the card's file system, and
// whatever lies further from the photo being saved than the window reaches.
//
// The two take turns on two threads, never running at once: the save runs while the scan waits
// at its next read, until it needs what the scan has not reached yet. So neither needs a lock of
// its own, and each entry is judged on exactly the entries a save of the whole table sees.

#include <cstddef>

#include "destination/destination.h"
#include "diskio/sector_source.h"
#include "photos/card_entry.h"
#include "photos/save_along_scan.h"
#include "photos/save_file.h"
#include "scan/command_progress.h"
#include "scan/scan.h"

namespace kelvara {

struct ScanAndSaveReport {
    ScanReport scan;
    SaveReport save;
};

// The bytes kept behind the scan: a few camera photos, a RAW file with its JPEG, a phone's short
// clip. What is longer is read again where these gave way.
inline constexpr std::size_t kCardWindowBytes = 32 << 20;

// Scans as ScanWinNT does with `scan`, through its source (the card as the caller holds it open),
// and saves every entry into `destination` under `prefix` as SaveAllPhotos does with `card` (whose
// source must be the same), `saveProgress` hearing of the save. The files, names, statuses and
// reports are those of the scan followed by SaveAllPhotos; `each` hears of the entries in the
// table's order.
ScanAndSaveReport ScanAndSave(const ScanContext& scan, CommandProgress& saveProgress, Destination& destination,
                              const std::string& prefix, const SaveListener& each, const CardUse& card,
                              std::size_t windowBytes = kCardWindowBytes);

}  // namespace kelvara
