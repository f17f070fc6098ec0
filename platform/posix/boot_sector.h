#pragma once
// The layout a FAT12/16/32 or exFAT boot sector describes. The sector comes from the medium,
// so every field is checked against the others and against the volume it sits on before it is
// believed: a layout that comes out of here lies wholly inside the volume.

#include <cstdint>
#include <optional>
#include <span>

namespace kelvara {

enum class FatKind { Fat12, Fat16, Fat32, ExFat };

struct VolumeLayout {
    FatKind kind = FatKind::Fat12;
    std::uint32_t bytesPerSector = 0;     // 512 to 4096, a power of two
    std::uint32_t sectorsPerCluster = 0;  // a power of two
    std::uint32_t clusterCount = 0;       // data clusters, numbered 2 to clusterCount + 1
    std::uint64_t fatOffset = 0;          // bytes from the volume's start to the first FAT
    std::uint64_t fatBytes = 0;           // size of one FAT; holds an entry for every cluster
    std::uint64_t clusterHeapOffset = 0;  // bytes from the volume's start to cluster 2
    std::uint32_t rootCluster = 0;        // FAT32 and exFAT: first cluster of the root folder

    std::uint64_t clusterBytes() const { return std::uint64_t{bytesPerSector} * sectorsPerCluster; }
};

// sector holds at least the first 512 bytes of the volume; volumeBytes is the volume's length.
std::optional<VolumeLayout> ParseBootSector(std::span<const std::uint8_t> sector, std::uint64_t volumeBytes);

}  // namespace kelvara
