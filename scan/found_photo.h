#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace kelvara {

// Where one found photo lies on the drive; no photo data are kept.
struct FoundPhoto {
    std::int32_t StartSector = 0;  // the sector whose first bytes hold the signature
    std::int32_t EndSector = 0;    // exclusive: the next photo's StartSector, or the drive's total for the last
    std::string Kind;              // ".JPG" or ".GIF"
    std::vector<std::uint8_t> EndMarker;  // the kind's two-byte end-of-file marker
    std::string Drive;             // the drive text when the photo was recorded; it is read back from there
};

inline constexpr int kFoundPhotoSlots = 501;

// Record i belongs to entry i of the photo list. Records at the list's count and above
// are left over from an earlier scan and are never read.
using FoundPhotoTable = std::array<FoundPhoto, kFoundPhotoSlots>;

}  // namespace kelvara
