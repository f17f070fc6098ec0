#pragma once
// The four numbers GetDiskFreeSpaceA reports, from a volume's own boot sector or, for a
// folder, from what the kernel says of the file system holding it.

#include <optional>
#include <string>

#include "platform/posix/raw_volume.h"
#include "platform/win32_types.h"

namespace kelvara {

struct DiskFreeSpace {
    DWORD sectorsPerCluster = 0;
    DWORD bytesPerSector = 0;
    DWORD freeClusters = 0;
    DWORD totalClusters = 0;  // the data area's clusters, as a Windows FAT or exFAT driver counts them
};

// nullopt when the volume holds no FAT or exFAT file system that can be believed.
std::optional<DiskFreeSpace> FreeSpaceOfVolume(const RawVolume& volume);

// From statvfs, taking the block size as the cluster size (the kernel's vfat and exfat report
// it so) and 512-byte sectors. nullopt with a Win32 error when the folder cannot be asked.
std::optional<DiskFreeSpace> FreeSpaceOfFolder(const std::string& folder, DWORD& error);

}  // namespace kelvara
