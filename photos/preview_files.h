#pragma once
// The two files the preview pane shows a photo from: the photo as "TB.jpg" and a one-line
// page "TB001.htm" that draws it at 256 by 256, both in the private temporary folder.

#include <cstdint>
#include <functional>
#include <string>

#include "diskio/sector_ranges.h"
#include "platform/platform.h"
#include "scan/found_photo.h"

namespace kelvara {

// The page text for a temporary folder path (which ends in its separator).
std::string PreviewPageText(const std::string& tempFolder);

// The temporary folder as GetTempPathA gives it. Throws std::runtime_error, saying why, when
// there is no usable private folder: the preview files are then written nowhere else.
std::string PreviewTempFolder(Platform& platform);

// Reads the photo a piece at a time up to where it ends, the same bytes Save writes (see
// PhotoLength), and writes both files afresh, each under a temporary name first, so TB.jpg is
// the whole photo or is not there (no old tail, no planted link followed, nothing half-written
// if the program is killed). `afterRead` runs after every read of the drive (the window yields
// there) and may throw to give the preview up, which leaves the files as they were. Returns the
// page's path. Throws DiskError when the drive cannot be read or ends inside the photo; nothing is
// written then. A file that cannot be written is not there afterwards. `unreadable`, when given,
// receives the sectors of the photo that could not be read: TB.jpg holds zeros there.
std::string WritePreviewFiles(Platform& platform, const FoundPhoto& photo, std::int64_t driveEnd,
                              const std::string& tempFolder, const std::function<void()>& afterRead = {},
                              SectorRanges* unreadable = nullptr);

}  // namespace kelvara
