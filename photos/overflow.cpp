#include "photos/overflow.h"

#include <algorithm>

#include "destination/spill_file.h"
#include "diskio/sector.h"

namespace kelvara {
namespace {

constexpr std::int64_t kZerosEnd = (1 << 20) / kSectorSize;

}  // namespace

// `bytes` from sector `first` on, at their places in the ring: one transfer, or two where it wraps.
template <class Move>
bool Overflow::Transfer(std::int64_t first, std::size_t bytes, Move move) {
    for (std::size_t done = 0; done < bytes;) {
        const std::int64_t slot = (first + static_cast<std::int64_t>(done / kSectorSize)) % kMostSectors;
        const std::size_t length =
            std::min(bytes - done, static_cast<std::size_t>(kMostSectors - slot) * kSectorSize);
        if (!move(static_cast<std::uint64_t>(slot) * kSectorSize, done, length)) return false;
        done += length;
    }
    return true;
}

bool Overflow::Wants(std::int64_t from, std::int64_t first, std::int64_t count) const {
    if (broken_ || from >= first + count) return false;
    return from != from_ || (!full_ && std::max(first, from) == high_);
}

void Overflow::Keep(std::int64_t from, std::int64_t first, std::span<const std::uint8_t> bytes, const SectorRanges& unreadable) {
    const auto count = static_cast<std::int64_t>(bytes.size() / kSectorSize);
    if (from >= first + count) return;
    const std::int64_t begin = std::max(first, from);
    if (from != from_) {
        from_ = from;
        full_ = false;
        if (from >= low_ && from <= high_ && begin == high_) {
            low_ = from;  // the next photo: what was kept from its start on still serves
        } else {
            low_ = high_ = begin;
            zeros_ = 0;
            unreadable_ = {};
        }
    }
    if (full_ || begin != high_) return;
    bytes = bytes.subspan(static_cast<std::size_t>(begin - first) * kSectorSize);
    const auto adding = static_cast<std::int64_t>(bytes.size() / kSectorSize);
    if (ZerosEnd(bytes) || high_ + adding - low_ > kMostSectors) {
        full_ = true;
        return;
    }
    if (!file_ && !broken_) {
        file_ = open_();
        broken_ = !file_;
    }
    if (!file_ || !Transfer(high_, bytes.size(), [&](std::uint64_t at, std::size_t done, std::size_t length) {
            return file_->WriteAt(at, bytes.subspan(done, length));
        })) {
        full_ = true;
        return;
    }
    high_ += adding;
    unreadable_.Add(unreadable.Within(begin, high_));
}

bool Overflow::Copy(std::int64_t first, std::span<std::uint8_t> into, SectorRanges* unreadable) {
    const std::int64_t end = first + static_cast<std::int64_t>(into.size() / kSectorSize);
    if (!file_ || first < low_ || end > high_ ||
        !Transfer(first, into.size(), [&](std::uint64_t at, std::size_t done, std::size_t length) {
            return file_->ReadAt(at, into.subspan(done, length));
        }))
        return false;
    if (unreadable) unreadable->Add(unreadable_.Within(first, end));
    return true;
}

bool Overflow::Release() {
    const bool held = file_ != nullptr;
    file_.reset();
    broken_ = true;
    low_ = high_ = 0;
    return held;
}

// Whether the run of zeros reaches a mebibyte with these bytes.
bool Overflow::ZerosEnd(std::span<const std::uint8_t> bytes) {
    for (std::size_t at = 0; at < bytes.size(); at += kSectorSize) {
        const auto sector = bytes.subspan(at, kSectorSize);
        zeros_ = std::all_of(sector.begin(), sector.end(), [](std::uint8_t b) { return b == 0; }) ? zeros_ + 1 : 0;
        if (zeros_ >= kZerosEnd) return true;
    }
    return false;
}

std::function<std::unique_ptr<PrivateTempFile>()> OverflowFileIn(Destination& destination) {
    return [&destination]() -> std::unique_ptr<PrivateTempFile> {
        std::string why;
        return destination.claimed() ? OpenSpillFile(destination, ".kelvara-overflow", why) : nullptr;
    };
}

}  // namespace kelvara
