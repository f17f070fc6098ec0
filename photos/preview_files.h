#pragma once
// The files the preview pane shows a photo from: the photo as "TB.jpg" and a one-line page
// "TB001.htm" that draws it at 256 by 256, both in the private temporary folder; for a clip, its
// bytes and a page that plays them.

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
// PhotoLength), and writes the files the pane shows it from, each under a temporary name first,
// so a file is whole or is not there (no old tail, no planted link followed, nothing
// half-written if the program is killed): TB.jpg and the page, as its format's line says:
// - a picture the browser engine draws (JPEG, GIF, PNG, WebP): TB.jpg holds its bytes;
// - a RAW file (and a TIFF): TB.jpg is the largest JPEG preview it carries;
// - HEIC and AVIF: TB.jpg is its picture decoded (where this build has the decoder);
// - a clip: its bytes beside the page as TB.mp4 (its own extension), which the page plays in a
//   video element above its size and length;
// where none can be made, a page that says why. So the preview writes at most the photo's own
// bound. `afterRead` runs after every read of the drive (the window yields there) and may throw
// to give the preview up, which leaves the files as they were. Returns the page's path. Throws
// DiskError when the drive cannot be read or ends inside the photo; nothing is written then.
// `unreadable`, when given, receives the sectors of what was shown that could not be read: the
// files hold zeros there.
std::string WritePreviewFiles(Platform& platform, const FoundPhoto& photo, std::int64_t driveEnd,
                              const std::string& tempFolder, const std::function<void()>& afterRead = {},
                              SectorRanges* unreadable = nullptr);
// The same for entry `index` of `table`, as Save writes it: one whose structure breaks off is
// shown from its pieces where they are found and hold together (see PieceSearch).
std::string WritePreviewFiles(Platform& platform, const FoundPhotoTable& table, std::size_t index,
                              const std::string& tempFolder, const std::function<void()>& afterRead = {},
                              SectorRanges* unreadable = nullptr);

}  // namespace kelvara
