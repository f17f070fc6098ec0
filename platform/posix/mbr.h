#pragma once
// The classic partition table in sector 0 of a medium.

#include <cstdint>
#include <span>
#include <vector>

namespace kelvara {

struct MbrPartition {
    int number = 0;  // 1 to 4: the slot in the table, as the kernel numbers sdX1 to sdX4
    std::uint8_t type = 0;
    std::uint64_t firstSector = 0;  // sectors of the medium's own size from its start
    std::uint64_t sectors = 0;
};

// The primary partitions that can hold a volume, in slot order. Empty when the sector holds no
// partition table. Extended and GPT-protective entries are containers, not volumes, and are left
// out. A volume's own boot sector also ends in 55 AA: tell it apart before asking here.
std::vector<MbrPartition> ReadMbrPartitions(std::span<const std::uint8_t> sector0);

// True when the table has an entry of type EE: the medium's GUID partition table lies behind it.
bool HasGptProtectiveEntry(std::span<const std::uint8_t> sector0);

}  // namespace kelvara
