#include "platform/posix/partition_table.h"

#include <array>

#include "platform/posix/boot_sector.h"
#include "platform/posix/gpt.h"
#include "platform/posix/mbr.h"

namespace kelvara {

std::vector<TablePartition> ReadPartitionTable(const RawVolume& medium) {
    std::array<std::uint8_t, 512> sector0{};
    if (!medium.ReadExact(0, sector0)) return {};
    // A volume's boot sector also ends in 55 AA; when it reads as a sound file system, it is one.
    if (ParseBootSector(sector0, medium.length())) return {};
    // Behind a protective entry the GUID table holds the truth, as the kernel takes it.
    if (HasGptProtectiveEntry(sector0)) {
        if (auto partitions = ReadGptPartitions(medium)) return *partitions;
    }
    std::vector<TablePartition> partitions;
    for (const MbrPartition& p : ReadMbrPartitions(sector0)) partitions.push_back({p.number, p.firstSector, p.sectors});
    return partitions;
}

}  // namespace kelvara
