#pragma once
// A destination folder on the card being recovered is refused: writing there would overwrite
// the very deleted photos still on it.

#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace kelvara {

// Why nothing may be written into `folder` while drive `sourceDrive` is recovered: it lies on
// that drive's volume, wherever the volume is mounted (also a folder that is not there yet).
// nullopt when it may.
std::optional<std::string> SourceDriveRefusal(Platform& platform, const std::string& folder,
                                              const std::string& sourceDrive);

// The same for every drive of `sourceDrives`.
std::optional<std::string> SourceDriveRefusal(Platform& platform, const std::string& folder,
                                              const std::vector<std::string>& sourceDrives);

}  // namespace kelvara
