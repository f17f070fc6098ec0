#pragma once
// The two files the preview pane shows a photo from: the photo as "TB.jpg" and a one-line
// page "TB001.htm" that draws it at 256 by 256, both in the private temporary folder.

#include <string>

#include "platform/platform.h"
#include "scan/found_photo.h"

namespace kelvara {

// The page text for a temporary folder path (which ends in its separator).
std::string PreviewPageText(const std::string& tempFolder);

// The temporary folder as GetTempPathA gives it, "" when it gives none.
std::string PreviewTempFolder(Platform& platform);

// Reads the photo's run, cuts it after its last FF D9 and writes both files afresh (each
// deleted first, then created new, so no old tail and no planted link survives). Returns the
// page's path. Throws DiskError when the run cannot be read, the drive ends inside it or its
// byte count does not fit; nothing is written then. A file that cannot be written is skipped.
std::string WritePreviewFiles(Platform& platform, const FoundPhoto& photo, const std::string& tempFolder);

}  // namespace kelvara
