#include "platform/posix/removable_volumes.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "platform/posix/kernel_files.h"

namespace kelvara {
namespace {

constexpr const char* kOpticalScsiType = "5";

std::string Join(const std::string& folder, const std::string& name) {
    if (!folder.empty() && folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

std::uint64_t Sectors(const std::string& sysfsFolder) {
    try {
        return std::stoull(FirstLine(Join(sysfsFolder, "size")));
    } catch (...) {
        return 0;
    }
}

bool IsRemovableDisk(const std::string& blockFolder, const std::string& name) {
    if (name.rfind("sr", 0) == 0 || FirstLine(Join(blockFolder, "device/type")) == kOpticalScsiType) return false;
    if (FirstLine(Join(blockFolder, "removable")) == "1") return true;
    if (name.rfind("mmcblk", 0) == 0) return true;
    // On a real system /sys/block/X links to the device's place on its bus.
    char target[4096];
    const ssize_t length = ::readlink(blockFolder.c_str(), target, sizeof target - 1);
    if (length <= 0) return false;
    const std::string path(target, static_cast<std::size_t>(length));
    return path.find("/usb") != std::string::npos || path.find("mmc") != std::string::npos;
}

}  // namespace

std::vector<RemovableVolume> FindRemovableVolumes(const std::string& sysRoot) {
    const std::string blockRoot = Join(sysRoot, "sys/block");
    const std::string devRoot = Join(sysRoot, "dev");
    std::vector<RemovableVolume> volumes;
    for (const std::string& disk : FolderEntries(blockRoot)) {
        const std::string diskFolder = Join(blockRoot, disk);
        if (!IsRemovableDisk(diskFolder, disk)) continue;

        struct Partition {
            int number;
            std::string name;
        };
        std::vector<Partition> partitions;
        for (const std::string& child : FolderEntries(diskFolder)) {
            const std::string number = FirstLine(Join(Join(diskFolder, child), "partition"));
            if (number.empty()) continue;
            try {
                partitions.push_back({std::stoi(number), child});
            } catch (...) {
            }
        }
        std::sort(partitions.begin(), partitions.end(),
                  [](const Partition& a, const Partition& b) { return a.number < b.number; });

        if (partitions.empty()) {
            volumes.push_back({disk, disk, Join(devRoot, disk), FirstLine(Join(diskFolder, "dev")), Sectors(diskFolder), {}});
            continue;
        }
        for (std::size_t i = 0; i < partitions.size(); ++i) {
            const std::string& name = partitions[i].name;
            const std::string folder = Join(diskFolder, name);
            volumes.push_back({i == 0 ? disk : name, name, Join(devRoot, name), FirstLine(Join(folder, "dev")),
                               Sectors(folder), {}});
        }
    }
    return volumes;
}

}  // namespace kelvara
