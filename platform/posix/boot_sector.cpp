#include "platform/posix/boot_sector.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "platform/byte_order.h"

namespace kelvara {
namespace {

// The largest cluster numbers each FAT width can hold (Microsoft's limits).
constexpr std::uint32_t kFat12MaxClusters = 4084;
constexpr std::uint32_t kFat16MaxClusters = 65524;
constexpr std::uint32_t kFat32MaxClusters = 0x0FFFFFF5;
constexpr std::uint32_t kExFatMaxClusters = 0xFFFFFFF5;

std::optional<VolumeLayout> ParseExFat(std::span<const std::uint8_t> b, std::uint64_t volumeBytes) {
    if (b[0] != 0xEB || b[1] != 0x76 || b[2] != 0x90) return std::nullopt;
    // The old BPB area must be zero, so that FAT drivers never take the volume for theirs.
    if (std::any_of(b.begin() + 11, b.begin() + 64, [](std::uint8_t v) { return v != 0; })) return std::nullopt;

    const std::uint64_t volumeLength = LoadLe64(b, 72);
    const std::uint32_t fatOffset = LoadLe32(b, 80);
    const std::uint32_t fatLength = LoadLe32(b, 84);
    const std::uint32_t heapOffset = LoadLe32(b, 88);
    const std::uint32_t clusterCount = LoadLe32(b, 92);
    const std::uint32_t rootCluster = LoadLe32(b, 96);
    const unsigned sectorShift = b[108];
    const unsigned clusterShift = b[109];
    const unsigned fats = b[110];

    if (sectorShift < 9 || sectorShift > 12 || clusterShift > 25 - sectorShift) return std::nullopt;
    if (fats < 1 || fats > 2) return std::nullopt;
    if (volumeLength == 0 || volumeLength > (volumeBytes >> sectorShift)) return std::nullopt;
    if (clusterCount == 0 || clusterCount > kExFatMaxClusters) return std::nullopt;
    if (fatOffset < 24 || fatLength == 0) return std::nullopt;
    if (std::uint64_t{fatOffset} + std::uint64_t{fatLength} * fats > heapOffset) return std::nullopt;
    if (std::uint64_t{heapOffset} + (std::uint64_t{clusterCount} << clusterShift) > volumeLength) return std::nullopt;
    if ((std::uint64_t{fatLength} << sectorShift) < (std::uint64_t{clusterCount} + 2) * 4) return std::nullopt;
    if (rootCluster < 2 || rootCluster > std::uint64_t{clusterCount} + 1) return std::nullopt;

    VolumeLayout layout;
    layout.kind = FatKind::ExFat;
    layout.bytesPerSector = 1u << sectorShift;
    layout.sectorsPerCluster = 1u << clusterShift;
    layout.clusterCount = clusterCount;
    layout.fatOffset = std::uint64_t{fatOffset} << sectorShift;
    layout.fatBytes = std::uint64_t{fatLength} << sectorShift;
    layout.clusterHeapOffset = std::uint64_t{heapOffset} << sectorShift;
    layout.rootCluster = rootCluster;
    return layout;
}

std::optional<VolumeLayout> ParseFat(std::span<const std::uint8_t> b, std::uint64_t volumeBytes) {
    if (b[0] != 0xEB && b[0] != 0xE9) return std::nullopt;
    const std::uint32_t bytesPerSector = LoadLe16(b, 11);
    const std::uint32_t sectorsPerCluster = b[13];
    const std::uint32_t reserved = LoadLe16(b, 14);
    const std::uint32_t fats = b[16];
    const std::uint32_t rootEntries = LoadLe16(b, 17);
    const std::uint32_t totalSectors = LoadLe16(b, 19) != 0 ? LoadLe16(b, 19) : LoadLe32(b, 32);
    const std::uint32_t fatSize16 = LoadLe16(b, 22);
    const std::uint32_t fatSize = fatSize16 != 0 ? fatSize16 : LoadLe32(b, 36);

    if (bytesPerSector < 512 || bytesPerSector > 4096 || !std::has_single_bit(bytesPerSector)) return std::nullopt;
    if (sectorsPerCluster == 0 || !std::has_single_bit(sectorsPerCluster)) return std::nullopt;
    if (reserved == 0 || fats == 0 || totalSectors == 0 || fatSize == 0) return std::nullopt;
    if (std::uint64_t{totalSectors} * bytesPerSector > volumeBytes) return std::nullopt;

    const std::uint64_t rootSectors = (std::uint64_t{rootEntries} * 32 + bytesPerSector - 1) / bytesPerSector;
    const std::uint64_t metaSectors = reserved + std::uint64_t{fats} * fatSize + rootSectors;
    if (metaSectors >= totalSectors) return std::nullopt;
    const std::uint64_t clusters = (totalSectors - metaSectors) / sectorsPerCluster;
    if (clusters == 0) return std::nullopt;

    VolumeLayout layout;
    // A BPB without a 16-bit FAT size is FAT32, as Windows decides it; otherwise the cluster
    // count tells FAT12 from FAT16.
    unsigned entryBits;
    if (fatSize16 == 0) {
        if (rootEntries != 0 || clusters > kFat32MaxClusters) return std::nullopt;
        layout.kind = FatKind::Fat32;
        layout.rootCluster = LoadLe32(b, 44);
        if (layout.rootCluster < 2 || layout.rootCluster > clusters + 1) return std::nullopt;
        entryBits = 32;
    } else {
        if (rootEntries == 0 || clusters > kFat16MaxClusters) return std::nullopt;
        layout.kind = clusters <= kFat12MaxClusters ? FatKind::Fat12 : FatKind::Fat16;
        entryBits = layout.kind == FatKind::Fat12 ? 12 : 16;
    }
    const std::uint64_t fatBytes = std::uint64_t{fatSize} * bytesPerSector;
    if ((clusters + 2) * entryBits > fatBytes * 8) return std::nullopt;

    layout.bytesPerSector = bytesPerSector;
    layout.sectorsPerCluster = sectorsPerCluster;
    layout.clusterCount = static_cast<std::uint32_t>(clusters);
    layout.fatOffset = std::uint64_t{reserved} * bytesPerSector;
    layout.fatBytes = fatBytes;
    layout.clusterHeapOffset = metaSectors * bytesPerSector;
    return layout;
}

}  // namespace

std::optional<VolumeLayout> ParseBootSector(std::span<const std::uint8_t> sector, std::uint64_t volumeBytes) {
    if (sector.size() < 512) return std::nullopt;
    if (std::memcmp(sector.data() + 3, "EXFAT   ", 8) == 0) return ParseExFat(sector, volumeBytes);
    return ParseFat(sector, volumeBytes);
}

}  // namespace kelvara
