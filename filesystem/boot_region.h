#pragma once
// The boot sector of a FAT12/16/32 or exFAT volume: where its allocation table, root folder and
// clusters lie. Read at the volume's first byte (the drive is the partition, or a card without
// a partition table).

#include <cstdint>
#include <optional>
#include <span>

#include "filesystem/cluster_layout.h"

namespace kelvara {

enum class FileSystemKind : std::uint8_t { Fat12, Fat16, Fat32, Exfat };

struct BootRegion {
    FileSystemKind kind = FileSystemKind::Fat32;
    ClusterLayout layout;
    std::uint64_t tableStart = 0;  // byte of the first allocation table
    std::uint64_t tableBytes = 0;
    // FAT12/16: the fixed root folder's bytes; FAT32 and exFAT: its first cluster.
    std::uint64_t rootStart = 0;
    std::uint32_t rootBytes = 0;
    std::uint32_t rootCluster = 0;
};

// nullopt unless `sector` (at least 512 bytes) is the boot sector of a volume whose regions are
// consistent: each lies after the one before and no count overflows.
std::optional<BootRegion> ReadBootRegion(std::span<const std::uint8_t> sector);

}  // namespace kelvara
