#include "window/drive_list.h"

#include <algorithm>

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

DriveEntries RefreshDriveEntries(const std::vector<std::string>& shown, int chosen, const DriveTable& table) {
    DriveEntries result;
    result.entries.push_back(kSelectDrive);
    for (const std::string& root : table) {
        if (root.empty()) break;
        result.entries.push_back(root);
    }
    const std::string kept = chosen >= 0 && chosen < static_cast<int>(shown.size()) ? shown[chosen] : kSelectDrive;
    auto at = std::find(result.entries.begin(), result.entries.end(), kept);
    if (at == result.entries.end()) {
        // Letters keep their order; the chosen drive goes back in its place.
        at = std::find_if(result.entries.begin() + 1, result.entries.end(),
                          [&](const std::string& entry) { return entry > kept; });
        at = result.entries.insert(at, kept);
    }
    result.chosen = static_cast<int>(at - result.entries.begin());
    return result;
}

}  // namespace kelvara
