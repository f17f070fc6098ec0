#pragma once
// The partitions a medium's table describes, the GUID table or the classic one, whichever the
// medium holds: what makes one drive per partition of an image file or a whole device.

#include <cstdint>
#include <vector>

#include "platform/posix/raw_volume.h"

namespace kelvara {

struct TablePartition {
    int number = 0;  // as the kernel numbers sdX1, sdX2...: the slot in the table, from 1
    std::uint64_t firstSector = 0;  // 512-byte sectors from the start of the medium
    std::uint64_t sectors = 0;
};

// In slot order, in 512-byte sectors whatever the medium's own sector size (a table of a disk of
// 4096-byte sectors counts in those). Empty when the medium starts with a volume's own boot
// sector (which ends in 55 AA too) or holds no table that can be believed.
std::vector<TablePartition> ReadPartitionTable(const RawVolume& medium);

}  // namespace kelvara
