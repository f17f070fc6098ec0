#include "photos/card_window.h"

#include <algorithm>
#include <cstring>

#include "diskio/sector.h"

namespace kelvara {

CardWindow::CardWindow(std::size_t bytes)
    : capacity_(std::max<std::int64_t>(1, static_cast<std::int64_t>(bytes / kSectorSize))),
      // Not cleared: its pages are the process's only once the scan's bytes reach them.
      ring_(new std::uint8_t[static_cast<std::size_t>(capacity_) * kSectorSize]) {}

std::uint8_t* CardWindow::At(std::int64_t sector) const {
    return ring_.get() + static_cast<std::size_t>(sector % capacity_) * kSectorSize;
}

void CardWindow::Add(std::int64_t first, std::span<const std::uint8_t> bytes, const SectorRanges& unreadable) {
    if (first != high_ || first < 0) {
        high_ = std::max<std::int64_t>(first, 0);
        held_ = 0;
        unreadable_ = {};
    }
    auto sectors = static_cast<std::int64_t>(bytes.size() / kSectorSize);
    // Of a read larger than the window only its end is kept.
    const std::int64_t skipped = std::max<std::int64_t>(0, sectors - capacity_);
    high_ += skipped;
    sectors -= skipped;
    bytes = bytes.subspan(static_cast<std::size_t>(skipped) * kSectorSize);
    while (sectors > 0) {
        const std::int64_t slot = high_ % capacity_;
        const std::int64_t run = std::min(sectors, capacity_ - slot);
        std::memcpy(At(high_), bytes.data(), static_cast<std::size_t>(run) * kSectorSize);
        bytes = bytes.subspan(static_cast<std::size_t>(run) * kSectorSize);
        high_ += run;
        sectors -= run;
        held_ = std::min(capacity_, held_ + run);
    }
    if (!unreadable.empty() || !unreadable_.empty()) {
        unreadable_ = unreadable_.Within(Low(), high_);
        unreadable_.Add(unreadable.Within(Low(), high_));
    }
}

bool CardWindow::Copy(std::int64_t first, std::span<std::uint8_t> into, SectorRanges* unreadable) const {
    const auto sectors = static_cast<std::int64_t>(into.size() / kSectorSize);
    if (first < Low() || first + sectors > high_) return false;
    for (std::int64_t done = 0; done < sectors;) {
        const std::int64_t sector = first + done;
        const std::int64_t run = std::min(sectors - done, capacity_ - sector % capacity_);
        std::memcpy(into.data() + static_cast<std::size_t>(done) * kSectorSize, At(sector), static_cast<std::size_t>(run) * kSectorSize);
        done += run;
    }
    if (unreadable && !unreadable_.empty()) unreadable->Add(unreadable_.Within(first, first + sectors));
    return true;
}

}  // namespace kelvara
