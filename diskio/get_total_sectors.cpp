#include "diskio/get_total_sectors.h"

#include <algorithm>

#include "diskio/sector.h"

namespace kelvara {

std::optional<std::int64_t> GetVolumeSectors(Platform& platform, const std::string& root) {
    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, totalClusters = 0;
    if (!platform.GetDiskFreeSpaceA(root, sectorsPerCluster, bytesPerSector, freeClusters, totalClusters))
        return std::nullopt;
    // The platform's bytes per sector is not used: a sector is 512 bytes here. The count is kept
    // small enough that its size in bytes is a number too.
    const std::uint64_t product = std::uint64_t{sectorsPerCluster} * totalClusters;
    return static_cast<std::int64_t>(std::min<std::uint64_t>(product, kMaxSectors));
}

std::int64_t GetTotalSectors(Platform& platform, const std::string& root) {
    return GetVolumeSectors(platform, root).value_or(-1);
}

}  // namespace kelvara
