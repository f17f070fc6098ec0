#include "destination/destination_check.h"

#include <vector>

#include "platform/drive_string.h"

namespace kelvara {
namespace {

constexpr const char* kWhy = "writing there would overwrite the deleted photos still on it. Choose a folder on another drive.";

}  // namespace

std::optional<std::string> SourceDriveRefusal(Platform& platform, const std::string& folder,
                                              const std::string& sourceDrive) {
    if (sourceDrive.empty()) return std::nullopt;
    const std::string drive = DriveRoot(sourceDrive);
    // The drive itself, by its letter, whether or not its volume is mounted anywhere.
    if (folder.size() >= 2 && folder[1] == ':' && DriveLetter(folder) == DriveLetter(sourceDrive))
        return folder + " is on drive " + drive + ", the card being recovered: " + kWhy;
    // What stores the folder and what holds the card, told by the system's own numbers.
    if (const auto shared = platform.FindSharedStorage(folder, sourceDrive))
        return SharedStorageRefusal(folder, sourceDrive, *shared);
    // The drive's own folder, by its letter or wherever it stands.
    std::vector<char> root(4096);
    if (!platform.GetVolumePathNameA(folder, root)) return std::nullopt;  // where it cannot be told, writing fails by itself
    if (root[1] != ':' || DriveLetter(root.data()) != DriveLetter(sourceDrive)) return std::nullopt;
    return folder + " is on drive " + drive + ", the card being recovered: " + kWhy;
}

std::string SharedStorageRefusal(const std::string& folder, const std::string& sourceDrive,
                                 const Platform::SharedStorage& shared) {
    const std::string drive = DriveRoot(sourceDrive);
    if (shared.certain)
        return folder + " is on drive " + drive + ", the card being recovered (it is stored on " + shared.name + "): " + kWhy;
    return "Kelvara cannot tell whether " + folder + " is on drive " + drive + ", the card being recovered: " +
           shared.name + ". If it is, " + kWhy;
}

std::optional<std::string> SourceDriveRefusal(Platform& platform, const std::string& folder,
                                              const std::vector<std::string>& sourceDrives) {
    for (const std::string& drive : sourceDrives)
        if (auto refusal = SourceDriveRefusal(platform, folder, drive)) return refusal;
    return std::nullopt;
}

}  // namespace kelvara
