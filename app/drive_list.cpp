#include "app/drive_list.h"

#include <vector>

namespace kelvara {

std::optional<DriveTable> GetDriveList(Platform& platform) {
    const DWORD needed = platform.GetLogicalDriveStringsA({});
    if (needed == 0) return std::nullopt;
    std::string buffer(needed, ' ');
    if (platform.GetLogicalDriveStringsA(buffer) == 0) return std::nullopt;

    // The list ends with the NUL after its last root and a terminating NUL: the split gives
    // two empty pieces at the end, which are not drives.
    std::vector<std::string> pieces(1);
    for (const char c : buffer) {
        if (c == '\0')
            pieces.emplace_back();
        else
            pieces.back() += c;
    }
    pieces.resize(pieces.size() >= 2 ? pieces.size() - 2 : 0);

    DriveTable table;
    int slot = 0;
    for (const std::string& root : pieces) {
        if (slot == kDriveSlots) break;  // the first 21 removable drives are listed
        if (platform.GetDriveTypeA(root) == DRIVE_REMOVABLE) table[slot++] = root;
    }
    return table;
}

}  // namespace kelvara
