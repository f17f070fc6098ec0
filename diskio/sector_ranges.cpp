#include "diskio/sector_ranges.h"

#include <algorithm>

namespace kelvara {

void SectorRanges::Add(std::int64_t first, std::int64_t count) {
    if (count <= 0) return;
    SectorRange added{first, first + count};
    // The reader goes front to back, so the new range nearly always joins or follows the last.
    auto at = std::lower_bound(ranges_.begin(), ranges_.end(), added.first,
                               [](const SectorRange& range, std::int64_t sector) { return range.end < sector; });
    auto last = at;
    while (last != ranges_.end() && last->first <= added.end) {
        added.first = std::min(added.first, last->first);
        added.end = std::max(added.end, last->end);
        ++last;
    }
    at = ranges_.erase(at, last);
    at = ranges_.insert(at, added);
    if (ranges_.size() <= kMostRanges) return;
    const auto keep = at == ranges_.begin() ? at + 1 : at - 1;
    keep->first = std::min(keep->first, at->first);
    keep->end = std::max(keep->end, at->end);
    ranges_.erase(at);
    joined_ = true;
}

void SectorRanges::Add(const SectorRanges& other) {
    for (const SectorRange& range : other.ranges_) Add(range.first, range.end - range.first);
    joined_ = joined_ || other.joined_;
}

SectorRanges SectorRanges::Within(std::int64_t first, std::int64_t end) const {
    SectorRanges within;
    within.joined_ = joined_;
    for (const SectorRange& range : ranges_) {
        const std::int64_t from = std::max(first, range.first), to = std::min(end, range.end);
        if (from < to) within.ranges_.push_back({from, to});
    }
    return within;
}

bool SectorRanges::Overlaps(const SectorRange& range) const { return !Within(range.first, range.end).empty(); }

std::int64_t SectorRanges::Sectors() const {
    std::int64_t sectors = 0;
    for (const SectorRange& range : ranges_) sectors += range.end - range.first;
    return sectors;
}

std::string RangeText(const SectorRange& range) {
    if (range.end - range.first == 1) return "Sector " + std::to_string(range.first);
    return "Sectors " + std::to_string(range.first) + "-" + std::to_string(range.end - 1);
}

}  // namespace kelvara
