#pragma once
// Which bytes of a found photo are the photo, and handing them out to be written. Preview and
// Save use the same bytes.

#include <cstdint>

#include "photos/drive_bytes.h"
#include "destination/written_file.h"
#include "scan/found_photo.h"

namespace kelvara {

// The photo's length in bytes: where its own structure ends, which may lie past the next
// photo's start (a thumbnail that began on a sector boundary was listed as a photo of its
// own); when the structure leads to no end, up to the last end marker of its kind within its
// run, or the whole run without one. Throws DiskError when the drive cannot be read, or when
// it ends inside the run and the structure gave no end before that.
std::uint64_t PhotoLength(DriveBytes& bytes, const FoundPhoto& photo);

// Hands out the first `length` bytes a piece at a time. Throws DiskError when the drive no
// longer holds them.
NextPiece PhotoPieces(DriveBytes& bytes, std::uint64_t length);

}  // namespace kelvara
