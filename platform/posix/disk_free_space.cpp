#include "platform/posix/disk_free_space.h"

#include <sys/statvfs.h>

#include <algorithm>
#include <cerrno>
#include <limits>
#include <vector>

#include "platform/posix/boot_sector.h"
#include "platform/posix/free_clusters.h"
#include "platform/posix/posix_errors.h"

namespace kelvara {
namespace {

constexpr std::size_t kBootSectorBytes = 512;

DWORD ClampToDword(std::uint64_t value) {
    return static_cast<DWORD>(std::min<std::uint64_t>(value, std::numeric_limits<DWORD>::max()));
}

// blocks * fragment / cluster without overflowing on very large file systems.
DWORD Clusters(std::uint64_t blocks, std::uint64_t fragment, std::uint64_t clusterBytes) {
    const unsigned __int128 bytes = static_cast<unsigned __int128>(blocks) * fragment;
    const unsigned __int128 clusters = bytes / clusterBytes;
    return clusters > std::numeric_limits<DWORD>::max() ? std::numeric_limits<DWORD>::max()
                                                        : static_cast<DWORD>(clusters);
}

}  // namespace

std::optional<DiskFreeSpace> FreeSpaceOfVolume(const RawVolume& volume) {
    std::vector<std::uint8_t> sector(kBootSectorBytes);
    if (!volume.ReadExact(0, sector)) return std::nullopt;
    auto layout = ParseBootSector(sector, volume.length());
    if (!layout) {
        // A volume cut short (an image that ends early) counts the clusters it holds whole.
        layout = ParseBootSector(sector, std::numeric_limits<std::uint64_t>::max());
        if (!layout || layout->clusterHeapOffset >= volume.length()) return std::nullopt;
        const std::uint64_t held = (volume.length() - layout->clusterHeapOffset) / layout->clusterBytes();
        if (held == 0) return std::nullopt;
        layout->clusterCount = static_cast<std::uint32_t>(std::min<std::uint64_t>(layout->clusterCount, held));
    }
    const auto free = CountFreeClusters(*layout, volume);
    if (!free) return std::nullopt;
    DiskFreeSpace space;
    space.sectorsPerCluster = layout->sectorsPerCluster;
    space.bytesPerSector = layout->bytesPerSector;
    space.freeClusters = *free;
    space.totalClusters = layout->clusterCount;
    return space;
}

std::optional<DiskFreeSpace> FreeSpaceOfFolder(const std::string& folder, DWORD& error) {
    struct statvfs info {};
    if (::statvfs(folder.c_str(), &info) != 0) {
        error = errno == ENOENT ? ERROR_PATH_NOT_FOUND : Win32ErrorFromErrno(errno);
        return std::nullopt;
    }
    constexpr std::uint64_t kSector = 512;
    const std::uint64_t clusterBytes = std::max<std::uint64_t>(info.f_bsize, kSector);
    const std::uint64_t fragment = info.f_frsize != 0 ? info.f_frsize : info.f_bsize;
    DiskFreeSpace space;
    space.bytesPerSector = static_cast<DWORD>(kSector);
    space.sectorsPerCluster = ClampToDword(clusterBytes / kSector);
    space.totalClusters = Clusters(info.f_blocks, fragment, clusterBytes);
    space.freeClusters = Clusters(info.f_bavail, fragment, clusterBytes);
    return space;
}

}  // namespace kelvara
