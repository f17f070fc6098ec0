#include "platform/posix/partition_table.h"

#include <array>
#include <limits>

#include "platform/posix/boot_sector.h"
#include "platform/posix/gpt.h"
#include "platform/posix/mbr.h"

namespace kelvara {
namespace {

constexpr std::uint32_t kSector = 512;
constexpr std::uint32_t kLargeSector = 4096;

// Whether a volume's boot sector lies at byte `at`: there the table's sector size is the one.
bool BootSectorAt(const RawVolume& medium, std::uint64_t at) {
    std::array<std::uint8_t, kSector> sector{};
    return medium.ReadExact(at, sector) && ParseBootSector(sector, std::numeric_limits<std::uint64_t>::max());
}

}  // namespace

std::vector<TablePartition> ReadPartitionTable(const RawVolume& medium) {
    std::array<std::uint8_t, kSector> sector0{};
    if (!medium.ReadExact(0, sector0)) return {};
    // A volume's boot sector also ends in 55 AA; when it reads as a sound file system, it is one.
    if (ParseBootSector(sector0, medium.length())) return {};
    // A table counts in the medium's own sectors. A device says what they are; a file does not,
    // so both sizes are tried, 512 bytes first.
    const std::uint32_t known = medium.DeviceSectorSize();
    const std::vector<std::uint32_t> sizes = known != 0 ? std::vector<std::uint32_t>{known}
                                                        : std::vector<std::uint32_t>{kSector, kLargeSector};
    // Behind a protective entry the GUID table holds the truth, as the kernel takes it.
    if (HasGptProtectiveEntry(sector0)) {
        for (const std::uint32_t size : sizes)
            if (auto partitions = ReadGptPartitions(medium, size)) return *partitions;
    }
    // A volume cut short (an image that ends early) is still a volume, not a table.
    if (ParseBootSector(sector0, std::numeric_limits<std::uint64_t>::max())) return {};
    const std::vector<MbrPartition> entries = ReadMbrPartitions(sector0);
    std::uint32_t size = sizes.front();
    // A file whose first partition holds a volume only when counted in 4096-byte sectors was
    // made on such a disk.
    if (known == 0 && !entries.empty() && !BootSectorAt(medium, entries.front().firstSector * kSector) &&
        BootSectorAt(medium, entries.front().firstSector * kLargeSector))
        size = kLargeSector;
    std::vector<TablePartition> partitions;
    const std::uint64_t ours = size / kSector;
    for (const MbrPartition& p : entries) partitions.push_back({p.number, p.firstSector * ours, p.sectors * ours});
    return partitions;
}

}  // namespace kelvara
