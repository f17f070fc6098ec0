#pragma once
// Where the card's clusters start: a file system gives out space a cluster at a time, so a photo
// and each piece of one start at a cluster's start. The card's own file system says so where it
// survives; until it is read, the grid is inferred from where the found photos start.

#include <cstdint>
#include <optional>
#include <string>

#include "filesystem/cluster_layout.h"

#include "scan/found_photo.h"

namespace kelvara {

struct ClusterGrid {
    std::uint64_t clusterBytes = 0;  // 0 when not known
    std::uint64_t dataStart = 0;     // bytes from the drive's first sector to the data area's start

    bool Known() const { return clusterBytes != 0; }
    bool IsStart(std::uint64_t at) const { return Known() && at >= dataStart && (at - dataStart) % clusterBytes == 0; }
    // The first cluster start at or after `at`.
    std::uint64_t StartAtOrAfter(std::uint64_t at) const {
        if (at <= dataStart) return dataStart;
        return dataStart + (at - dataStart + clusterBytes - 1) / clusterBytes * clusterBytes;
    }
    // The last cluster start at or before `at` (the data area's start before it).
    std::uint64_t StartAtOrBefore(std::uint64_t at) const {
        if (at <= dataStart) return dataStart;
        return dataStart + (at - dataStart) / clusterBytes * clusterBytes;
    }
};

// The largest grid most of the photos found on `drive` start on: a cluster of 512 bytes to
// 128 KiB, and the place of one cluster start below the first photo. Unknown with fewer than
// four photos, where a grid could be chance. With `asScanned`, every entry counts as the scan
// found it, before a save judged some to lie inside others.
ClusterGrid InferClusterGrid(const FoundPhotoTable& table, const std::string& drive, bool asScanned = false);

// The card's own grid where its file system gives one, unless the photos lie on another (the card
// formatted since with other clusters): the inferred grid may take a multiple of the clusters
// for them where photos are few.
ClusterGrid ChooseClusterGrid(const ClusterGrid& inferred, const std::optional<ClusterLayout>& own);

}  // namespace kelvara
