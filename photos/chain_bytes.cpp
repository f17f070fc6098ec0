#include "photos/chain_bytes.h"

#include <algorithm>

#include "photos/photo_bytes.h"

namespace kelvara {

ChainBytes::ChainBytes(ByteSource& drive, ByteExtents extents) : drive_(drive), extents_(std::move(extents)) {
    for (const ByteExtent& extent : extents_) {
        firsts_.push_back(length_);
        length_ += extent.length;
    }
}

std::size_t ChainBytes::PieceOf(std::uint64_t offset) const {
    return static_cast<std::size_t>(std::upper_bound(firsts_.begin(), firsts_.end(), offset) - firsts_.begin()) - 1;
}

std::span<const std::uint8_t> ChainBytes::From(std::uint64_t offset) {
    if (offset >= length_) return {};
    const std::size_t piece = PieceOf(offset);
    const std::uint64_t within = offset - firsts_[piece];
    const std::span<const std::uint8_t> bytes = drive_.From(extents_[piece].start + within);
    return bytes.first(static_cast<std::size_t>(std::min<std::uint64_t>(bytes.size(), extents_[piece].length - within)));
}

std::uint64_t ChainBytes::DriveOffset(std::uint64_t offset) const {
    if (extents_.empty()) return 0;
    if (offset >= length_) return extents_.back().start + extents_.back().length;
    const std::size_t piece = PieceOf(offset);
    return extents_[piece].start + (offset - firsts_[piece]);
}

NextPiece ChainPieces(DriveBytes& drive, ChainBytes& chain, std::uint64_t length) {
    return [&drive, &chain, length, done = std::uint64_t{0}]() mutable -> std::span<const std::uint8_t> {
        if (done == length) return {};
        std::span<const std::uint8_t> piece = chain.From(done);
        if (piece.empty()) DriveEnded(drive, chain.DriveOffset(done));
        piece = piece.first(static_cast<std::size_t>(std::min<std::uint64_t>(piece.size(), length - done)));
        done += piece.size();
        return piece;
    };
}

}  // namespace kelvara
