#pragma once
// Saved photos under the card's own folders and names (DCIM\100CANON\IMG_0042.JPG inside the
// folder chosen), made safe to write: whatever a card's entries spell, a name stays inside the
// folder chosen and is one the system takes.

#include <optional>
#include <string>
#include <unordered_set>

#include "filesystem/card_files.h"
#include "platform/platform.h"

namespace kelvara {

// The file's folder and name from the card, relative to the folder chosen and joined by '\':
// characters no file name may hold become '_', "." and ".." and device names cannot be named, no
// part is longer than a file system takes. nullopt when nothing of a name is left.
std::optional<std::string> CardRelativePath(const CardFile& file);

// The names given in one save, so two photos the card named alike (a folder's old files and the
// new ones a camera wrote after a format) both come back: the second as "IMG_0042 (2).JPG".
class CardNames {
public:
    // A free path under `folder` for `relative`, its folders made on the way. nullopt, with
    // `failure` saying why, when a folder cannot be made or one on the way is a link (a link
    // could lead off the folder chosen, onto the card).
    std::optional<std::string> Take(Platform& platform, const std::string& folder, const std::string& relative,
                                     std::string& failure);

private:
    std::unordered_set<std::string> taken_;  // lower case: FAT and NTFS destinations ignore case
};

}  // namespace kelvara
