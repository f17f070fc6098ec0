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

}  // namespace

namespace {
std::uint64_t BytesUpTo(std::int64_t firstSector, std::int64_t sector) {
    return sector > firstSector ? static_cast<std::uint64_t>(sector - firstSector) * kSectorSize : 0;
}
}  // namespace

DriveBytes::DriveBytes(Platform& platform, std::string drive, std::int64_t firstSector, std::int64_t runEnd,
                       std::int64_t endSector, std::function<void()> afterRead)
    : platform_(platform),
      drive_(std::move(drive)),
      firstSector_(firstSector),
      run_(BytesUpTo(firstSector, runEnd)),
      limit_(BytesUpTo(firstSector, endSector)),
      afterRead_(std::move(afterRead)) {}

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
    if (offset < cacheStart_ || offset >= cacheStart_ + cache_.size()) {
        const std::uint64_t pieceStart = PieceStart(offset);
        // A piece that follows on is added to what is kept; any other starts it afresh.
        if (pieceStart != cacheStart_ + cache_.size() || cache_.size() + kPieceBytes > kCacheBytes) {
            cache_.clear();
            cacheStart_ = pieceStart;
        }
        Read(pieceStart);
        if (offset >= cacheStart_ + cache_.size()) return {};
    }
    const auto at = static_cast<std::size_t>(offset - cacheStart_);
    return std::span<const std::uint8_t>(cache_).subspan(at);
}

void DriveBytes::Read(std::uint64_t pieceStart) {
    const auto bytes = static_cast<std::int32_t>(PieceEnd(pieceStart) - pieceStart);
    const std::int64_t sector = firstSector_ + static_cast<std::int64_t>(pieceStart / kSectorSize);
    const std::int32_t held = ReadSectors(platform_, drive_, sector, 0, bytes, piece_);
    const auto kept = std::min<std::size_t>(static_cast<std::size_t>(held) * kSectorSize, piece_.size());
    // Zeros past the volume's end are not the drive's bytes: they end what can be read.
    if (kept < piece_.size()) volumeEnd_ = pieceStart + kept;
    cache_.insert(cache_.end(), piece_.begin(), piece_.begin() + static_cast<std::ptrdiff_t>(kept));
    if (afterRead_) afterRead_();
}

}  // namespace kelvara
