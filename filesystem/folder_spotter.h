#pragma once
// Folders of the card that no walk from its root reaches any more (a quick format cleared the
// root, or their parent was deleted), spotted at cluster starts in bytes another reader passes
// over anyway: the scan's reads, so the card is not read once more for them.

#include <cstdint>
#include <span>
#include <vector>

#include "filesystem/boot_region.h"

namespace kelvara {

class FolderSpotter {
public:
    explicit FolderSpotter(const BootRegion& region) : region_(region) {}

    // Looks at the cluster starts among `bytes`, which lie from byte `offset` of the drive on.
    void Look(std::uint64_t offset, std::span<const std::uint8_t> bytes);

    // The cluster starts that look like folder clusters, in the order seen (at most kMost).
    const std::vector<std::uint64_t>& Found() const { return found_; }
    static constexpr std::size_t kMost = 1 << 20;

private:
    BootRegion region_;
    std::vector<std::uint64_t> found_;
};

// Whether the first 512 bytes of a cluster look like the start of a folder's cluster: FAT's "."
// and ".." entries, or plausible short entries throughout; exFAT's file entry followed by its
// stream entry.
bool LooksLikeFolderCluster(FileSystemKind kind, std::span<const std::uint8_t> sector);

}  // namespace kelvara
