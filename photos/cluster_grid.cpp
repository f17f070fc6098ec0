#include "photos/cluster_grid.h"

#include <algorithm>
#include <map>
#include <vector>

#include "diskio/sector.h"

namespace kelvara {
namespace {

constexpr std::size_t kSampled = 8192;
constexpr std::int64_t kLargestCluster = 256;  // sectors: 128 KiB

// How many of `starts` lie on the commonest place modulo `sectors`, and that place.
std::pair<std::size_t, std::int64_t> Commonest(const std::vector<std::int64_t>& starts, std::int64_t sectors) {
    std::map<std::int64_t, std::size_t> counts;
    for (const std::int64_t start : starts) ++counts[start % sectors];
    const auto best = std::max_element(counts.begin(), counts.end(),
                                       [](const auto& a, const auto& b) { return a.second < b.second; });
    return {best->second, best->first};
}

}  // namespace

ClusterGrid InferClusterGrid(const FoundPhotoTable& table, const std::string& drive, bool asScanned) {
    std::vector<std::int64_t> starts;
    const DriveText text(drive);
    const std::size_t step = std::max<std::size_t>(1, table.size() / kSampled);
    for (std::size_t i = 0; i < table.size(); i += step) {
        const FoundPhoto photo = table[i];
        // Entries inside other photos (thumbnails, chance signatures) start anywhere.
        if (photo.Drive == text && photo.StartSector >= 0 &&
            (asScanned || (photo.Status != PhotoStatus::Inside && photo.Status != PhotoStatus::NotAPhoto)))
            starts.push_back(photo.StartSector);
    }
    if (starts.size() < 4) return {};
    // Doubling the cluster keeps nearly every photo on the grid only while the grid is real; past
    // it about half fall off.
    std::int64_t sectors = 1, place = 0;
    std::size_t on = starts.size();
    while (sectors < kLargestCluster) {
        const auto [count, at] = Commonest(starts, sectors * 2);
        if (count * 4 < on * 3) break;
        sectors *= 2;
        on = count;
        place = at;
    }
    return {static_cast<std::uint64_t>(sectors) * kSectorSize, static_cast<std::uint64_t>(place) * kSectorSize};
}

ClusterGrid ChooseClusterGrid(const ClusterGrid& inferred, const std::optional<ClusterLayout>& own) {
    if (!own || own->clusterBytes == 0) return inferred;
    const ClusterGrid card{own->clusterBytes, own->dataStart};
    if (!inferred.Known() || (inferred.clusterBytes % card.clusterBytes == 0 && card.IsStart(inferred.dataStart)))
        return card;
    return inferred;
}

}  // namespace kelvara
