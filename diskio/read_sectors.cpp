#include "diskio/read_sectors.h"

#include "diskio/checked_math.h"
#include "diskio/is_windows_nt.h"
#include "diskio/read_sectors_9x.h"
#include "diskio/read_sectors_nt.h"
#include "platform/last_error_text.h"

namespace kelvara {

std::int32_t SectorsToRead(const std::string& drive, std::int64_t firstSector, std::int32_t offset,
                           std::int32_t count) {
    if (drive.empty()) throw DiskError(DiskError::Kind::BadArgument, "No drive was given to read from");
    if (count < 1) throw DiskError(DiskError::Kind::BadArgument, "A read must ask for at least one byte");
    if (firstSector < 0 || offset < 0)
        throw DiskError(DiskError::Kind::BadArgument, "A read cannot start before sector 0");
    const std::int32_t last = CheckedSub(CheckedAdd(offset, count, "the end of the read"), 1, "the end of the read");
    const std::int32_t sectors = last / kSectorSize + 1;
    CheckedMul(sectors, kSectorSize, "the size of the read");
    if (firstSector > kMaxSectors - sectors)
        throw DiskError(DiskError::Kind::Overflow, "Overflow: sector " + std::to_string(firstSector) +
                                                       " lies beyond any drive's reach");
    return sectors;
}

namespace {

// Asks the platform's family afresh and reads through its path; `nt` and `nine` are the two paths
// with the request bound, each true when its device could be opened.
template <typename Nt, typename Nine>
std::int32_t Dispatch(Platform& platform, const std::string& drive, std::int64_t firstSector, std::int32_t offset,
                      std::int32_t count, Nt nt, Nine nine) {
    std::int32_t held = 0;
    const bool isNt = IsWindowsNT(platform);
    if (!(isNt ? nt(held) : nine())) {
        std::string message = "Cannot open drive " + VolumePath(drive).substr(4) + ".";
        if (const auto reason = LastErrorReason(platform)) message += " " + *reason;
        throw DiskError(DiskError::Kind::CannotOpen, message);
    }
    // The 9x service does not tell the volume's end from an unreadable sector: all count as held.
    return isNt ? held : SectorsToRead(drive, firstSector, offset, count);
}

}  // namespace

std::int32_t ReadSectors(Platform& platform, const std::string& drive, std::int64_t firstSector,
                         std::int32_t offset, std::int32_t count, SectorBuffer& into, SectorRanges* unreadable) {
    const std::string text = drive;
    return Dispatch(
        platform, text, firstSector, offset, count,
        [&](std::int32_t& held) {
            return ReadSectorsNT(platform, text, firstSector, offset, count, into, &held, unreadable);
        },
        [&] { return ReadSectors9x(platform, text, firstSector, offset, count, into, unreadable); });
}

std::int32_t ReadSectors(Platform& platform, const std::string& drive, std::int64_t firstSector,
                         std::span<std::uint8_t> into, SectorRanges* unreadable) {
    const std::string text = drive;
    if (into.size() % kSectorSize != 0 || into.size() > static_cast<std::size_t>(INT32_MAX))
        throw DiskError(DiskError::Kind::BadArgument, "A read into memory must take whole sectors");
    const auto count = static_cast<std::int32_t>(into.size());
    return Dispatch(
        platform, text, firstSector, 0, count,
        [&](std::int32_t& held) { return ReadSectorsNT(platform, text, firstSector, into, &held, unreadable); },
        [&] { return ReadSectors9x(platform, text, firstSector, 0, count, into, unreadable); });
}

SectorBuffer ReadSectors(Platform& platform, const std::string& drive, std::int64_t firstSector,
                         std::int32_t offset, std::int32_t count) {
    SectorBuffer buffer;
    ReadSectors(platform, drive, firstSector, offset, count, buffer);
    return buffer;
}

}  // namespace kelvara
