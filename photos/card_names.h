#pragma once
// Saved photos under the card's own folders and names (DCIM\100CANON\IMG_0042.JPG inside the
// folder chosen), made safe to write: whatever a card's entries spell, a name stays inside the
// folder chosen and is one the system takes.

#include <optional>
#include <string>

#include "filesystem/card_files.h"

namespace kelvara {

// The file's folder and name from the card, relative to the folder chosen and joined by '\':
// characters no file name may hold become '_', "." and ".." and device names cannot be named, no
// part is longer than a file system takes. nullopt when nothing of a name is left.
std::optional<std::string> CardRelativePath(const CardFile& file);

}  // namespace kelvara
