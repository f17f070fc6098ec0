#include "photos/photo_bytes.h"

#include <algorithm>

#include "diskio/disk_error.h"
#include "photos/end_marker.h"
#include "photos/photo_structure.h"

namespace kelvara {
namespace {

[[noreturn]] void DriveEnded(const DriveBytes& bytes, std::uint64_t at) {
    throw DiskError(DiskError::Kind::Ended,
                    DriveEndedText(bytes.drive(), bytes.firstSector() + static_cast<std::int64_t>(at / kSectorSize)) +
                        ", inside the photo. The card may have been taken out or changed.");
}

}  // namespace

std::uint64_t PhotoLength(DriveBytes& bytes, const FoundPhoto& photo) {
    if (photo.StartSector < 0 || photo.EndSector <= photo.StartSector)
        throw DiskError(DiskError::Kind::BadArgument, "The photo's place on the drive is not known.");
    if (const auto length = StructuralLength(photo.Kind, bytes)) return *length;

    const std::uint64_t run = static_cast<std::uint64_t>(photo.EndSector - photo.StartSector) * kSectorSize;
    // Zeros where the drive has ended are not the photo: no file rather than one that looks whole.
    if (bytes.From(run - 1).empty()) DriveEnded(bytes, bytes.VolumeEnd().value_or(run));
    if (const auto at = FindLastEndMarker(bytes, run, photo.EndMarker)) return *at + 2;
    return run;
}

NextPiece PhotoPieces(DriveBytes& bytes, std::uint64_t length) {
    return [&bytes, length, done = std::uint64_t{0}]() mutable -> std::span<const std::uint8_t> {
        if (done == length) return {};
        std::span<const std::uint8_t> piece = bytes.From(done);
        if (piece.empty()) DriveEnded(bytes, done);
        piece = piece.first(static_cast<std::size_t>(std::min<std::uint64_t>(piece.size(), length - done)));
        done += piece.size();
        return piece;
    };
}

}  // namespace kelvara
