#pragma once
// The bytes of a photo as Save writes them: its run on the drive, or, once it was put back
// together, its pieces in the file's order. Handed out a piece at a time either way.

#include <cstdint>
#include <optional>

#include "destination/written_file.h"
#include "diskio/byte_extents.h"
#include "diskio/sector_ranges.h"
#include "photos/drive_bytes.h"
#include "photos/extent_bytes.h"
#include "photos/piece_search.h"

namespace kelvara {

class ReassembledPhoto {
public:
    // The photo's first `length` bytes from byte `start` of `drive`, read from its first sector.
    ReassembledPhoto(DriveBytes& drive, std::uint64_t start, std::uint64_t length);

    // The photo is these pieces instead.
    void Join(ByteExtents extents);

    std::uint64_t Length() const { return bytes_.Length(); }
    const ByteExtents& Extents() const { return bytes_.extents(); }
    ByteSource& Bytes() { return bytes_; }
    // Its bytes a piece at a time (`length` of them from `offset`, or all); throws DiskError
    // when the drive no longer holds them.
    NextPiece Pieces();
    NextPiece Pieces(std::uint64_t offset, std::uint64_t length);
    // Its sectors that the reads so far could not read.
    SectorRanges Unreadable() const;

private:
    DriveBytes& drive_;
    ExtentBytes bytes_;
};

}  // namespace kelvara
