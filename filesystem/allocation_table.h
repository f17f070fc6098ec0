#pragma once
// A volume's allocation table, read a page at a time as chains are followed: a card of millions
// of clusters keeps only a few pages of it in memory.

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "diskio/byte_extents.h"
#include "filesystem/boot_region.h"
#include "formats/byte_source.h"

namespace kelvara {

class AllocationTable {
public:
    AllocationTable(ByteSource& drive, const BootRegion& region);

    // The entry of `cluster`: the next cluster of its chain, 0 when free, or past the last
    // cluster for a chain's end (or a bad cluster). nullopt when the table cannot be read there.
    std::optional<std::uint32_t> Next(std::uint32_t cluster);

    // Hands `each` the clusters of the chain from `first`, at most `most` of them. True when the
    // chain ends with its end mark within them; false when it breaks off at a free cluster or an
    // unreadable entry, or goes on past `most` (as a loop does).
    bool Chain(std::uint32_t first, std::uint64_t most, const std::function<void(std::uint32_t)>& each);

    // The extents of a file of `size` bytes whose chain starts at `first`: nullopt unless the
    // table still holds exactly that chain, ending where the size does.
    std::optional<ByteExtents> FileExtents(std::uint32_t first, std::uint64_t size);

    const ClusterLayout& layout() const { return region_.layout; }

private:
    static constexpr std::size_t kPageBytes = 4096;
    static constexpr std::size_t kPages = 64;  // direct-mapped: page n lives in slot n % kPages
    struct Page {
        std::uint64_t number = UINT64_MAX;
        bool read = false;
        std::array<std::uint8_t, kPageBytes> bytes{};
    };
    // The table's byte at `offset`, or nullopt past what can be read.
    std::optional<std::uint8_t> Byte(std::uint64_t offset);

    ByteSource& drive_;
    BootRegion region_;
    std::vector<Page> pages_;
};

// Adds `cluster` to the end of `extents`, merged with the last where it follows on, taking at
// most `left` bytes of it (and counting them off).
void AppendCluster(ByteExtents& extents, const ClusterLayout& layout, std::uint32_t cluster, std::uint64_t& left);

}  // namespace kelvara
