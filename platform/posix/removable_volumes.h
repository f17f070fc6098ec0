#pragma once
// The removable volumes of the machine, as sysfs shows them: partitions (or the whole medium,
// when it has no partition table) of block devices the kernel marks removable or that sit on
// USB or MMC.

#include <cstdint>
#include <string>
#include <vector>

namespace kelvara {

struct RemovableVolume {
    // Names the drive slot across media changes: a card reader keeps one letter whichever card
    // is in it, so the whole medium and its first partition share the disk's name; further
    // partitions have their own.
    std::string slotKey;
    std::string name;       // the kernel's name, "sdb1"
    std::string node;       // the device node to read
    std::string devNumber;  // "major:minor", to find its mount
    std::uint64_t sectors = 0;  // in 512-byte units; 0 when no medium is inserted
    // Where the disk service says the volume is mounted; empty when not mounted, and always from
    // sysfs, whose mounts are looked up in the mount table.
    std::string mountPoint;
};

// sysRoot is where sys/ and dev/ are looked up ("/" on a real machine).
std::vector<RemovableVolume> FindRemovableVolumes(const std::string& sysRoot);

}  // namespace kelvara
