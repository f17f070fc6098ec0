#pragma once
// The GUID partition table: its header in sector 1 (in the medium's own sector size), behind a
// protective classic table.

#include <optional>
#include <vector>

#include "platform/posix/partition_table.h"
#include "platform/posix/raw_volume.h"

namespace kelvara {

// The entries in use, numbered by slot, on a medium of `sectorSize`-byte sectors (512 or 4096),
// in which the table counts. nullopt when the header or the entries are not sound: signature,
// sizes, places and checksums are all checked, since they come from the medium.
std::optional<std::vector<TablePartition>> ReadGptPartitions(const RawVolume& medium, std::uint32_t sectorSize);

}  // namespace kelvara
