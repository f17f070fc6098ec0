#pragma once
// What a save's memory lets go of from the start of the photo it is at, kept on disk instead, so
// a photo longer than the bytes held in memory (a long clip, a RAW) is not read from the card
// again: the scan's window behind a save reading the card once, a save's kept pieces after the
// scan. In a private file in the folder saved into, made when first needed and never where it
// cannot be; the card itself is never written.

#include <cstdint>
#include <functional>
#include <memory>
#include <span>

#include "destination/destination.h"
#include "diskio/sector_ranges.h"
#include "platform/private_temp_file.h"

namespace kelvara {

class Overflow {
public:
    // Kept at most: past that, or past a mebibyte of zeros (no photo's data), what gives way is
    // read again.
    static constexpr std::int64_t kMostSectors = (std::int64_t{2} << 30) / 512;

    explicit Overflow(std::function<std::unique_ptr<PrivateTempFile>()> open) : open_(std::move(open)) {}

    // Whether sectors from `first` on, given way, would be kept for the photo at `from`.
    bool Wants(std::int64_t from, std::int64_t first, std::int64_t count) const;

    // Sectors from `first` on that gave way, `unreadable` among them; those from `from` on (the
    // photo being saved) are kept, where they follow on from what is kept of it.
    void Keep(std::int64_t from, std::int64_t first, std::span<const std::uint8_t> bytes, const SectorRanges& unreadable);

    // Copies sectors from `first` on into `into` when all of them are kept, adding those that
    // could not be read to `unreadable`; false otherwise.
    bool Copy(std::int64_t first, std::span<std::uint8_t> into, SectorRanges* unreadable);
    std::int64_t High() const { return high_; }

    // Nothing is kept from now on, and the file goes, giving back its room; false when there was none.
    bool Release();

private:
    template <class Move>
    static bool Transfer(std::int64_t first, std::size_t bytes, Move move);
    bool ZerosEnd(std::span<const std::uint8_t> bytes);

    std::function<std::unique_ptr<PrivateTempFile>()> open_;
    std::unique_ptr<PrivateTempFile> file_;
    bool broken_ = false;                          // no file could be made: nothing is kept
    std::int64_t from_ = -1, low_ = 0, high_ = 0;  // kept: [low_, high_), for the photo at from_
    std::int64_t zeros_ = 0;                       // zero sectors last kept, in a row
    bool full_ = false;                            // nothing more is kept for this photo
    SectorRanges unreadable_;
};

// How an overflow's file is made: without a name in the destination claimed for the save, or
// none where it cannot be (what gives way is then read again, as it always could be).
std::function<std::unique_ptr<PrivateTempFile>()> OverflowFileIn(Destination& destination);

}  // namespace kelvara
