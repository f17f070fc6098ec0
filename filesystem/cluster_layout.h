#pragma once
// Where a FAT or exFAT volume's clusters lie on its drive: what a search for a photo's next piece
// needs, as pieces start only at cluster starts.

#include <cstdint>
#include <optional>

namespace kelvara {

struct ClusterLayout {
    std::uint64_t dataStart = 0;     // byte of cluster 2, from the drive's first sector
    std::uint32_t clusterBytes = 0;  // a power of two, 512 up to 32 MiB
    std::uint32_t clusterCount = 0;  // clusters 2 .. clusterCount + 1 exist

    bool Holds(std::uint32_t cluster) const { return cluster >= 2 && cluster - 2 < clusterCount; }
    std::uint64_t StartOf(std::uint32_t cluster) const {
        return dataStart + std::uint64_t{cluster - 2} * clusterBytes;
    }
    std::uint64_t End() const { return StartOf(2) + std::uint64_t{clusterCount} * clusterBytes; }
    // The cluster starting exactly at `byte`, if one does.
    std::optional<std::uint32_t> StartingAt(std::uint64_t byte) const {
        if (clusterBytes == 0 || byte < dataStart || (byte - dataStart) % clusterBytes != 0) return std::nullopt;
        const std::uint64_t index = (byte - dataStart) / clusterBytes;
        if (index >= clusterCount) return std::nullopt;
        return static_cast<std::uint32_t>(index + 2);
    }
};

}  // namespace kelvara
