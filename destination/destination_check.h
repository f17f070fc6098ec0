#pragma once
// A destination folder on the card being recovered is refused: writing there would overwrite
// the very deleted photos still on it.

#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace kelvara {

// Why nothing may be written into `folder` while drive `sourceDrive` is recovered: it lies on
// that drive's card, however the card is mounted (by its letter, through a loop device, a FUSE
// program, an overlay, a bind mount, on another partition of the same disk), also a folder that
// is not there yet, and one whose storage cannot all be found out. nullopt when it may. Links in
// the folder's path are followed. The window's destination dialog and the command line both ask
// here, before anything is made.
std::optional<std::string> SourceDriveRefusal(Platform& platform, const std::string& folder,
                                              const std::string& sourceDrive);

// What to tell a user when the folder and the drive share `shared` storage.
std::string SharedStorageRefusal(const std::string& folder, const std::string& sourceDrive,
                                 const Platform::SharedStorage& shared);

// The same for every drive of `sourceDrives`.
std::optional<std::string> SourceDriveRefusal(Platform& platform, const std::string& folder,
                                              const std::vector<std::string>& sourceDrives);

}  // namespace kelvara
