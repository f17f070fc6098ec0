#include "diskio/read_sectors.h"

#include "diskio/checked_math.h"
#include "diskio/sector_source.h"

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

// Each a source of its own: the family asked afresh, the volume opened for the one read.
std::int32_t ReadSectors(Platform& platform, const std::string& drive, std::int64_t firstSector,
                         std::int32_t offset, std::int32_t count, SectorBuffer& into, SectorRanges* unreadable) {
    return SectorSource(platform, drive).Read(firstSector, offset, count, into, unreadable);
}

std::int32_t ReadSectors(Platform& platform, const std::string& drive, std::int64_t firstSector,
                         std::span<std::uint8_t> into, SectorRanges* unreadable) {
    return SectorSource(platform, drive).Read(firstSector, into, unreadable);
}

SectorBuffer ReadSectors(Platform& platform, const std::string& drive, std::int64_t firstSector,
                         std::int32_t offset, std::int32_t count) {
    SectorBuffer buffer;
    ReadSectors(platform, drive, firstSector, offset, count, buffer);
    return buffer;
}

}  // namespace kelvara
