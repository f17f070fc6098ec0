#pragma once
// The long commands as a front end starts them, and what their reports say, for tests that need
// no window.

#include <cstdint>
#include <string>
#include <vector>

#include "destination/destination.h"
#include "diskio/sector_source.h"
#include "scan/entry_name.h"
#include "scan/scan.h"
#include "tools/make_image.h"

namespace kelvara::testing {

// A scan of the first `sectors` sectors of `drive`, which it opens for itself.
inline ScanReport ScanNt(Platform& platform, CommandProgress& progress, FoundPhotoTable& table, const std::string& drive,
                         std::int64_t sectors) {
    SectorSource card(platform, drive);
    return ScanWinNT({platform, progress, table, card, sectors});
}
inline ScanReport Scan9x(Platform& platform, CommandProgress& progress, FoundPhotoTable& table, const std::string& drive,
                         std::int64_t sectors) {
    SectorSource card(platform, drive);
    return ScanWin98({platform, progress, table, card, sectors});
}

// The image of the first `total` sectors of `drive` into `folder`, claimed for it.
inline ImageReport ImageInto(Platform& platform, const std::string& drive, std::int64_t total, const std::string& folder,
                             CommandProgress& progress) {
    Destination destination(platform, folder, {drive});
    SectorSource card(platform, drive);
    return MakeImage(card, total, destination, progress);
}

// The list's entries as a scan under `prefix` names them.
inline std::vector<std::string> EntryNames(const FoundPhotoTable& table, const std::string& prefix = "Image") {
    std::vector<std::string> names;
    for (std::size_t i = 0; i < table.size(); ++i) names.push_back(EntryName(prefix, static_cast<std::int64_t>(i), table[i].Kind));
    return names;
}

// The texts of the messages that end a scan.
inline std::vector<std::string> Told(const ScanReport& report) {
    std::vector<std::string> told;
    for (const ScanMessage& message : ScanMessages(report)) told.push_back(message.text);
    return told;
}

}  // namespace kelvara::testing
