#pragma once
// What the window tells of each long command's report, as message boxes in the order it shows
// them: the words are the window's, the facts the report's.

#include <optional>
#include <vector>

#include "photos/save_file.h"
#include "scan/scan_report.h"
#include "tools/disk_wipe.h"
#include "tools/make_image.h"
#include "window/message.h"

namespace kelvara {

// The summary "Kelvara's found N Files" (news) among what fell short (failures).
std::vector<Message> ScanEndMessages(const ScanReport& report);
// The sectors the scan read as zeros, told after the window is back at rest.
std::optional<Message> ScanUnreadableMessage(const ScanReport& report);

// A save refused, photos lost or cut short, entries not saved on their own, files holding zeros.
std::vector<Message> SaveEndMessages(const SaveReport& report);

// An image that could not be made, is incomplete or holds zeros.
std::optional<Message> ImageEndMessage(const ImageReport& report);

// A wipe that fell short: a root file that could not be deleted, Wipe.img that could not be made,
// less written than the medium had free, a stop.
std::optional<Message> WipeEndMessage(const WipeReport& report);

}  // namespace kelvara
