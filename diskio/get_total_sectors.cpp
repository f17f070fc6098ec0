#include "diskio/get_total_sectors.h"

#include <algorithm>
#include <limits>

namespace kelvara {

std::optional<std::int64_t> GetVolumeSectors(Platform& platform, const std::string& root) {
    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, totalClusters = 0;
    if (!platform.GetDiskFreeSpaceA(root, sectorsPerCluster, bytesPerSector, freeClusters, totalClusters))
        return std::nullopt;
    // The platform's bytes per sector is not used: a sector is 512 bytes here.
    const std::uint64_t product = std::uint64_t{sectorsPerCluster} * totalClusters;
    return static_cast<std::int64_t>(std::min<std::uint64_t>(product, std::numeric_limits<std::int64_t>::max()));
}

std::int32_t SectorCount(std::optional<std::int64_t> volumeSectors) {
    if (!volumeSectors) return -1;
    return static_cast<std::int32_t>(std::min<std::int64_t>(*volumeSectors, std::numeric_limits<std::int32_t>::max()));
}

std::int32_t GetTotalSectors(Platform& platform, const std::string& root) {
    return SectorCount(GetVolumeSectors(platform, root));
}

}  // namespace kelvara
