#pragma once
// Which bytes of a found photo are the photo, and handing them out to be written. Preview and
// Save use the same bytes.

#include <cstdint>

#include "destination/written_file.h"
#include "photos/drive_bytes.h"
#include "scan/found_photo.h"

namespace kelvara {

// How much of a photo whose structure broke off is kept, within its `run` (up to the next
// entry): up to the last end marker of its kind that ends where the walk broke off or later (one
// before, such as a thumbnail's inside the header the walk read, is not the photo's end); without one, as far as the
// walk held together once it had reached picture data, else the whole run. A format without an
// end marker gives none.
std::uint64_t BrokenLength(ByteSource& bytes, std::uint64_t run, const Walk& walk, std::optional<EndMarkerBytes> marker);

// The photo's length in bytes, as the preview shows it: where its own structure ends, which may
// lie past the next photo's start (a thumbnail that began on a sector boundary was listed as a
// photo of its own); when the structure breaks off (or Save All found it broken), BrokenLength.
// Throws DiskError when the drive cannot be read, or when it ends inside the run and the
// structure gave no end before that. `breaksOff`, when given, says whether its structure breaks
// off read to wherever it leads (so its pieces may lie elsewhere).
std::uint64_t PhotoLength(DriveBytes& bytes, const FoundPhoto& photo, bool* breaksOff = nullptr);

// Throws the DiskError of a drive that holds nothing from byte `at` on (counted as `bytes` count).
[[noreturn]] void DriveEnded(const DriveBytes& bytes, std::uint64_t at);

}  // namespace kelvara
