#pragma once
// Sectors that could not be read, as ranges: the reader zero-fills them and says which they were,
// so every command can tell the user where its output holds zeros instead of the card's bytes.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kelvara {

struct SectorRange {
    std::int64_t first = 0;
    std::int64_t end = 0;  // exclusive; first < end
    bool operator==(const SectorRange&) const = default;
};

// Ranges in ascending order, never overlapping nor touching: adding a neighbour joins it. At most
// kMostRanges are kept, so a card failing every other sector cannot use up the memory: past that a
// new range is joined to the one before it, and Joined() says that sectors which were read lie
// inside some ranges.
class SectorRanges {
public:
    static constexpr std::size_t kMostRanges = 4096;

    void Add(std::int64_t first, std::int64_t count);
    void Add(const SectorRanges& other);
    // The parts that lie in [first, end).
    SectorRanges Within(std::int64_t first, std::int64_t end) const;
    bool Overlaps(const SectorRange& range) const;

    bool empty() const { return ranges_.empty(); }
    bool Joined() const { return joined_; }
    const std::vector<SectorRange>& ranges() const { return ranges_; }
    std::int64_t Sectors() const;
    bool operator==(const SectorRanges&) const = default;

private:
    std::vector<SectorRange> ranges_;
    bool joined_ = false;
};

// "Sector 20000" or "Sectors 20000-20099" (both ends included, as people count them).
std::string RangeText(const SectorRange& range);

}  // namespace kelvara
