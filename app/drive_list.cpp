#include "app/drive_list.h"

#include "platform/drive_string.h"

namespace kelvara {

std::optional<DriveTable> GetDriveList(Platform& platform) {
    const std::vector<std::string> roots = DriveStrings(platform);
    if (roots.empty()) return std::nullopt;
    DriveTable table;
    int slot = 0;
    for (const std::string& root : roots) {
        if (slot == kDriveSlots) break;  // the first 21 removable drives are listed
        if (platform.GetDriveTypeA(root) == DRIVE_REMOVABLE) table[slot++] = DriveRoot(root);
    }
    return table;
}

}  // namespace kelvara
