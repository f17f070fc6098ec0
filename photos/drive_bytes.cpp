#include "photos/drive_bytes.h"

#include <algorithm>

#include "diskio/read_sectors.h"

namespace kelvara {
namespace {

constexpr std::uint64_t kPieceBytes = DriveBytes::kPieceSectors * kSectorSize;

// The buffers the last DriveBytes of this thread left: their pages are the process's already.
thread_local std::vector<SectorBuffer> spareBuffers;

std::uint64_t BytesUpTo(std::int64_t firstSector, std::int64_t sector) {
    return sector > firstSector ? static_cast<std::uint64_t>(sector - firstSector) * kSectorSize : 0;
}

}  // namespace

DriveBytes::DriveBytes(SectorSource& source, std::int64_t firstSector, std::int64_t runEnd, std::int64_t endSector,
                       std::function<void()> afterRead, std::uint64_t keptBytes)
    : source_(&source),
      firstSector_(firstSector),
      run_(BytesUpTo(firstSector, runEnd)),
      limit_(BytesUpTo(firstSector, endSector)),
      afterRead_(std::move(afterRead)),
      mostPieces_(static_cast<std::size_t>(std::max<std::uint64_t>(1, keptBytes / kPieceBytes))) {
    pieces_.reserve(mostPieces_);
}

DriveBytes::~DriveBytes() {
    for (Piece& piece : pieces_)
        if (spareBuffers.size() < mostPieces_) spareBuffers.push_back(std::move(piece.bytes));
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
    const std::uint64_t start = PieceStart(offset);
    Piece* piece = last_ && last_->start == start ? last_ : nullptr;
    if (!piece) {
        const auto kept = std::find_if(pieces_.begin(), pieces_.end(), [&](const Piece& p) { return p.start == start; });
        piece = kept != pieces_.end() ? &*kept : &Read(start);
    }
    piece->used = ++clock_;
    last_ = piece;
    if (offset >= piece->start + piece->length) return {};
    const auto at = static_cast<std::size_t>(offset - piece->start);
    return std::span<const std::uint8_t>(piece->bytes.data() + at, static_cast<std::size_t>(piece->length) - at);
}

DriveBytes::Piece& DriveBytes::Read(std::uint64_t pieceStart) {
    // A new piece takes the place of the one asked for longest ago once as many as are kept are held.
    Piece* piece = nullptr;
    if (pieces_.size() < mostPieces_) {
        piece = &pieces_.emplace_back();
        if (!spareBuffers.empty()) {
            piece->bytes = std::move(spareBuffers.back());
            spareBuffers.pop_back();
        }
    } else {
        piece = &*std::min_element(pieces_.begin(), pieces_.end(), [](const Piece& a, const Piece& b) { return a.used < b.used; });
        GiveWay(*piece);
    }
    const std::uint64_t bytes = PieceEnd(pieceStart) - pieceStart;
    piece->start = UINT64_MAX;  // until it is read: a read that throws leaves nothing kept of it
    piece->length = 0;
    if (piece->bytes.size() < kPieceBytes) piece->bytes.resize(kPieceBytes);
    const std::int64_t sector = firstSector_ + static_cast<std::int64_t>(pieceStart / kSectorSize);
    const std::span<std::uint8_t> into(piece->bytes.data(), static_cast<std::size_t>(bytes));
    if (overflow_ && pieceStart >= keepFrom_ && overflow_->Copy(sector, into, nullptr)) {
        piece->start = pieceStart;
        piece->length = bytes;
        if (afterRead_) afterRead_();
        return *piece;
    }
    const std::int32_t held = source_->Read(sector, into, &unreadable_);
    const auto kept = std::min<std::uint64_t>(static_cast<std::uint64_t>(held) * kSectorSize, bytes);
    // Zeros past the volume's end are not the drive's bytes: they end what can be read.
    if (kept < bytes) volumeEnd_ = pieceStart + kept;
    piece->start = pieceStart;
    piece->length = kept;
    if (afterRead_) afterRead_();
    return *piece;
}

void DriveBytes::GiveWay(const Piece& piece) {
    // Only whole pieces of the photo being saved, as the drive gave them.
    if (!overflow_ || piece.start == UINT64_MAX || piece.start < keepFrom_ || piece.length != PieceEnd(piece.start) - piece.start)
        return;
    const std::int64_t first = firstSector_ + static_cast<std::int64_t>(piece.start / kSectorSize);
    const std::int64_t count = static_cast<std::int64_t>(piece.length / kSectorSize);
    const std::int64_t from = firstSector_ + static_cast<std::int64_t>(keepFrom_ / kSectorSize);
    if (overflow_->Wants(from, first, count))
        overflow_->Keep(from, first, std::span<const std::uint8_t>(piece.bytes.data(), static_cast<std::size_t>(piece.length)),
                        unreadable_.Within(first, first + count));
}

}  // namespace kelvara
