#pragma once
// A photo read through the chain the card's allocation table still holds: its pieces, wherever
// they lie on the drive, as one run of bytes from its first.

#include <cstdint>
#include <vector>

#include "destination/written_file.h"
#include "diskio/byte_extents.h"
#include "photos/drive_bytes.h"

namespace kelvara {

class ChainBytes final : public ByteSource {
public:
    ChainBytes(ByteSource& drive, ByteExtents extents);
    std::span<const std::uint8_t> From(std::uint64_t offset) override;
    // Where byte `offset` of the photo lies on the drive; past its last piece, where that ends.
    std::uint64_t DriveOffset(std::uint64_t offset) const;

private:
    std::size_t PieceOf(std::uint64_t offset) const;
    ByteSource& drive_;
    ByteExtents extents_;
    std::vector<std::uint64_t> firsts_;  // the photo's offset of each piece's first byte
    std::uint64_t length_ = 0;
};

// Hands out the photo's first `length` bytes through `chain`, a piece at a time. Throws
// DiskError when `drive`, which `chain` reads, no longer holds them.
NextPiece ChainPieces(DriveBytes& drive, ChainBytes& chain, std::uint64_t length);

}  // namespace kelvara
