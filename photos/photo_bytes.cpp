#include "photos/photo_bytes.h"

#include <algorithm>

#include "diskio/disk_error.h"
#include "photos/end_marker.h"

namespace kelvara {

void DriveEnded(const DriveBytes& bytes, std::uint64_t at) {
    throw DiskError(DiskError::Kind::Ended,
                    DriveEndedText(bytes.drive(), bytes.firstSector() + static_cast<std::int64_t>(at / kSectorSize)) +
                        ", inside the photo. The card may have been taken out or changed.");
}

std::uint64_t BrokenLength(ByteSource& bytes, std::uint64_t run, const Walk& walk, std::optional<EndMarkerBytes> marker) {
    if (const auto at = marker ? FindLastEndMarker(bytes, run, *marker) : std::nullopt; at && *at + 2 >= walk.reached)
        return *at + 2;
    return walk.image ? std::min(walk.reached, run) : run;
}

std::uint64_t PhotoLength(DriveBytes& bytes, const FoundPhoto& photo, bool* breaksOff) {
    if (photo.StartSector < 0 || photo.EndSector <= photo.StartSector)
        throw DiskError(DiskError::Kind::BadArgument, "The photo's place on the drive is not known.");
    const std::uint64_t run = static_cast<std::uint64_t>(photo.EndSector - photo.StartSector) * kSectorSize;
    // One Save All found reaching over another photo is shown as it was saved: within its run.
    const bool withinRun = photo.Status == PhotoStatus::Incomplete;
    SourceView within(bytes, 0, withinRun ? run : UINT64_MAX);
    const Walk walk = formats::WalkStructure(photo.Kind, within);
    if (breaksOff) {
        SourceView all(bytes, 0, UINT64_MAX);
        *breaksOff = withinRun ? !formats::WalkStructure(photo.Kind, all).end : !walk.end;
    }
    if (walk.end) return *walk.end;

    // Zeros where the drive has ended are not the photo: no file rather than one that looks whole.
    if (bytes.From(run - 1).empty()) DriveEnded(bytes, bytes.VolumeEnd().value_or(run));
    return BrokenLength(bytes, run, walk, formats::FormatOf(photo.Kind).endMarker);
}


}  // namespace kelvara
