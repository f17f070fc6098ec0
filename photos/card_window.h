#pragma once
// The latest sectors a scan read, kept for a save going along behind it: a ring of a fixed size
// whose oldest sectors give way as the scan reads on, so the card is read once and memory stays
// bounded however large the card.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "diskio/sector_ranges.h"

namespace kelvara {

class CardWindow {
public:
    // Keeps up to `bytes` (whole sectors; at least one).
    explicit CardWindow(std::size_t bytes);

    // The scan read `bytes` (whole sectors) from sector `first` on; those in `unreadable` could not
    // be read and are zeros there. A read that does not follow the last one starts the window afresh.
    void Add(std::int64_t first, std::span<const std::uint8_t> bytes, const SectorRanges& unreadable);

    // The sectors held: from Low() up to High(), exclusive.
    std::int64_t Low() const { return high_ - held_; }
    std::int64_t High() const { return high_; }
    std::int64_t Capacity() const { return capacity_; }  // in sectors

    // Copies the sectors from `first` on into `into` (whole sectors) when all of them are held,
    // adding those that could not be read to `unreadable`; false, with nothing copied, otherwise.
    bool Copy(std::int64_t first, std::span<std::uint8_t> into, SectorRanges* unreadable) const;

private:
    std::uint8_t* At(std::int64_t sector) const;

    std::int64_t capacity_;
    std::unique_ptr<std::uint8_t[]> ring_;  // sector s at (s mod capacity)
    std::int64_t high_ = 0;
    std::int64_t held_ = 0;
    SectorRanges unreadable_;  // of the sectors held, or near them
};

}  // namespace kelvara
