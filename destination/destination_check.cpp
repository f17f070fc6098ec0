#include "destination/destination_check.h"

#include <cctype>
#include <vector>

namespace kelvara {

std::optional<std::string> SourceDriveRefusal(Platform& platform, const std::string& folder,
                                              const std::string& sourceDrive) {
    if (sourceDrive.empty()) return std::nullopt;
    std::vector<char> root(4096);
    if (!platform.GetVolumePathNameA(folder, root)) return std::nullopt;  // where it cannot be told, writing fails by itself
    const auto letter = [](char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); };
    if (root[1] != ':' || letter(root[0]) != letter(sourceDrive[0])) return std::nullopt;
    return folder + " is on drive " + std::string(1, letter(sourceDrive[0])) +
           ":\\, the card being recovered: writing there would overwrite the deleted photos still on it. "
           "Choose a folder on another drive.";
}

std::optional<std::string> SourceDriveRefusal(Platform& platform, const std::string& folder,
                                              const std::vector<std::string>& sourceDrives) {
    for (const std::string& drive : sourceDrives)
        if (auto refusal = SourceDriveRefusal(platform, folder, drive)) return refusal;
    return std::nullopt;
}

}  // namespace kelvara
