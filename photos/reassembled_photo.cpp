#include "photos/reassembled_photo.h"

#include <algorithm>

#include "photos/photo_bytes.h"

namespace kelvara {

ReassembledPhoto::ReassembledPhoto(DriveBytes& drive, std::uint64_t start, std::uint64_t length)
    : drive_(drive), bytes_(drive, {{start, length}}) {}

void ReassembledPhoto::Join(ByteExtents extents) { bytes_ = ExtentBytes(drive_, std::move(extents)); }

NextPiece ReassembledPhoto::Pieces() { return Pieces(0, Length()); }

NextPiece ReassembledPhoto::Pieces(std::uint64_t offset, std::uint64_t count) {
    const std::uint64_t length = offset + count;
    return [this, length, done = offset]() mutable -> std::span<const std::uint8_t> {
        if (done >= length) return {};
        std::span<const std::uint8_t> piece = bytes_.From(done);
        if (piece.empty()) DriveEnded(drive_, bytes_.DriveOffset(done));  // where on the drive they ran out
        piece = piece.first(static_cast<std::size_t>(std::min<std::uint64_t>(piece.size(), length - done)));
        done += piece.size();
        return piece;
    };
}

SectorRanges ReassembledPhoto::Unreadable() const {
    SectorRanges zeros;
    for (const ByteExtent& extent : Extents()) {
        const auto first = static_cast<std::int64_t>(extent.start / kSectorSize);
        const auto end = static_cast<std::int64_t>((extent.start + extent.length + kSectorSize - 1) / kSectorSize);
        zeros.Add(drive_.Unreadable().Within(first, end));
    }
    return zeros;
}

}  // namespace kelvara
