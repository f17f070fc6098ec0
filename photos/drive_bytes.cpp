#include "photos/drive_bytes.h"

#include <algorithm>

#include "diskio/read_sectors.h"

namespace kelvara {
namespace {

// One read of the drive: 1 MiB, which the 9x disk service takes in one call.
constexpr std::uint64_t kPieceBytes = 2048 * kSectorSize;
// Consecutive pieces are kept up to this much, so a photo is read once for finding its end and
// writing it out.
constexpr std::uint64_t kCacheBytes = 16 * kPieceBytes;

// The buffer the last DriveBytes of this thread left: its pages are the process's already.
thread_local SectorBuffer spareCache;

std::uint64_t BytesUpTo(std::int64_t firstSector, std::int64_t sector) {
    return sector > firstSector ? static_cast<std::uint64_t>(sector - firstSector) * kSectorSize : 0;
}

}  // namespace

DriveBytes::DriveBytes(SectorSource& source, std::int64_t firstSector, std::int64_t runEnd, std::int64_t endSector,
                       std::function<void()> afterRead)
    : source_(&source),
      firstSector_(firstSector),
      run_(BytesUpTo(firstSector, runEnd)),
      limit_(BytesUpTo(firstSector, endSector)),
      afterRead_(std::move(afterRead)),
      cache_(std::move(spareCache)) {
    spareCache.clear();
}

DriveBytes::~DriveBytes() {
    if (cache_.size() > spareCache.size()) spareCache = std::move(cache_);
}

std::uint64_t DriveBytes::PieceStart(std::uint64_t offset) const {
    const std::uint64_t aligned = offset / kPieceBytes * kPieceBytes;
    return run_ > aligned && run_ <= offset ? run_ : aligned;
}

std::uint64_t DriveBytes::PieceEnd(std::uint64_t pieceStart) const {
    std::uint64_t end = std::min(limit_, (pieceStart / kPieceBytes + 1) * kPieceBytes);
    if (pieceStart < run_) end = std::min(end, run_);
    return end;
}

std::span<const std::uint8_t> DriveBytes::From(std::uint64_t offset) {
    const std::uint64_t end = std::min(limit_, volumeEnd_.value_or(limit_));
    if (offset >= end) return {};
    if (offset < cacheStart_ || offset >= cacheStart_ + cacheLength_) {
        Read(PieceStart(offset));
        if (offset < cacheStart_ || offset >= cacheStart_ + cacheLength_) return {};
    }
    const auto at = static_cast<std::size_t>(offset - cacheStart_);
    const auto length = std::min<std::uint64_t>(cacheLength_ - at, PieceEnd(PieceStart(offset)) - offset);
    return std::span<const std::uint8_t>(cache_.data() + at, static_cast<std::size_t>(length));
}

void DriveBytes::Read(std::uint64_t pieceStart) {
    const std::uint64_t bytes = PieceEnd(pieceStart) - pieceStart;
    // A piece that follows on is read in after what is kept; any other starts it afresh.
    if (pieceStart != cacheStart_ + cacheLength_ || cacheLength_ + bytes > kCacheBytes) {
        cacheStart_ = pieceStart;
        cacheLength_ = 0;
    }
    if (cache_.size() < cacheLength_ + bytes) cache_.resize(kCacheBytes);
    const std::int64_t sector = firstSector_ + static_cast<std::int64_t>(pieceStart / kSectorSize);
    const std::span<std::uint8_t> into(cache_.data() + cacheLength_, static_cast<std::size_t>(bytes));
    const std::int32_t held = source_->Read(sector, into, &unreadable_);
    const auto kept = std::min<std::uint64_t>(static_cast<std::uint64_t>(held) * kSectorSize, bytes);
    // Zeros past the volume's end are not the drive's bytes: they end what can be read.
    if (kept < bytes) volumeEnd_ = pieceStart + kept;
    cacheLength_ += kept;
    if (afterRead_) afterRead_();
}

}  // namespace kelvara
