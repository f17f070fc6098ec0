#include "destination/destination_check.h"

#include <vector>

#include "platform/drive_string.h"

namespace kelvara {

std::optional<std::string> SourceDriveRefusal(Platform& platform, const std::string& folder,
                                              const std::string& sourceDrive) {
    if (sourceDrive.empty()) return std::nullopt;
    std::vector<char> root(4096);
    if (!platform.GetVolumePathNameA(folder, root)) return std::nullopt;  // where it cannot be told, writing fails by itself
    if (root[1] != ':' || DriveLetter(root.data()) != DriveLetter(sourceDrive)) return std::nullopt;
    return folder + " is on drive " + DriveRoot(sourceDrive) +
           ", the card being recovered: writing there would overwrite the deleted photos still on it. "
           "Choose a folder on another drive.";
}

std::optional<std::string> SourceDriveRefusal(Platform& platform, const std::string& folder,
                                              const std::vector<std::string>& sourceDrives) {
    for (const std::string& drive : sourceDrives)
        if (auto refusal = SourceDriveRefusal(platform, folder, drive)) return refusal;
    return std::nullopt;
}

}  // namespace kelvara
