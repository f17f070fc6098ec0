#include "platform/posix/mbr.h"

#include "platform/byte_order.h"

namespace kelvara {
namespace {

constexpr std::size_t kTableOffset = 446;
constexpr std::size_t kEntrySize = 16;

constexpr std::uint8_t kGptProtective = 0xEE;

bool IsContainer(std::uint8_t type) {
    return type == 0x05 || type == 0x0F || type == 0x85 || type == kGptProtective;
}

bool HasTableSignature(std::span<const std::uint8_t> sector0) {
    return sector0.size() >= 512 && sector0[510] == 0x55 && sector0[511] == 0xAA;
}

}  // namespace

std::vector<MbrPartition> ReadMbrPartitions(std::span<const std::uint8_t> sector0) {
    if (!HasTableSignature(sector0)) return {};
    std::vector<MbrPartition> partitions;
    for (int slot = 0; slot < 4; ++slot) {
        const std::size_t at = kTableOffset + kEntrySize * static_cast<std::size_t>(slot);
        const std::uint8_t status = sector0[at];
        // Anything but "active" or "inactive" means these bytes are boot code, not a table.
        if (status != 0x00 && status != 0x80) return {};
        MbrPartition entry;
        entry.number = slot + 1;
        entry.type = sector0[at + 4];
        entry.firstSector = LoadLe32(sector0, at + 8);
        entry.sectors = LoadLe32(sector0, at + 12);
        if (entry.type == 0 || IsContainer(entry.type)) continue;
        if (entry.firstSector == 0 || entry.sectors == 0) continue;
        partitions.push_back(entry);
    }
    return partitions;
}

bool HasGptProtectiveEntry(std::span<const std::uint8_t> sector0) {
    if (!HasTableSignature(sector0)) return false;
    for (std::size_t slot = 0; slot < 4; ++slot)
        if (sector0[kTableOffset + kEntrySize * slot + 4] == kGptProtective) return true;
    return false;
}

}  // namespace kelvara
