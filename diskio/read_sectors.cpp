#include "diskio/read_sectors.h"

#include <algorithm>

#include "diskio/checked_math.h"
#include "diskio/is_windows_nt.h"
#include "diskio/read_sectors_9x.h"
#include "diskio/read_sectors_nt.h"

namespace kelvara {

std::int32_t SectorsToRead(const std::string& drive, std::int32_t firstSector, std::int32_t offset,
                           std::int32_t count) {
    if (drive.empty()) throw DiskError(DiskError::Kind::BadArgument, "No drive was given to read from");
    if (count < 1) throw DiskError(DiskError::Kind::BadArgument, "A read must ask for at least one byte");
    if (firstSector < 0 || offset < 0)
        throw DiskError(DiskError::Kind::BadArgument, "A read cannot start before sector 0");
    const std::int32_t last = CheckedSub(CheckedAdd(offset, count, "the end of the read"), 1, "the end of the read");
    const std::int32_t sectors = last / kSectorSize + 1;
    CheckedMul(sectors, kSectorSize, "the size of the read");
    return sectors;
}

std::int32_t ReadSectors(Platform& platform, const std::string& drive, std::int32_t firstSector,
                         std::int32_t offset, std::int32_t count, SectorBuffer& into) {
    const std::string text = drive;
    std::int32_t held = 0;
    const bool nt = IsWindowsNT(platform);
    const bool read = nt ? ReadSectorsNT(platform, text, firstSector, offset, count, into, &held)
                         : ReadSectors9x(platform, text, firstSector, offset, count, into);
    if (!read) {
        const DWORD error = platform.GetLastError();
        std::string message = "Cannot open drive " + VolumePath(text).substr(4) + ".";
        if (error != 0) message += " " + platform.FormatErrorMessage(error);
        throw DiskError(DiskError::Kind::CannotOpen, message);
    }
    return nt ? held : SectorsToRead(text, firstSector, offset, count);
}

std::int32_t ReadSectorRun(Platform& platform, const std::string& drive, std::int32_t firstSector,
                           std::int32_t count, SectorBuffer& into) {
    constexpr std::int32_t kPiece = INT16_MAX;  // sectors the 9x service reads in one call
    const std::int32_t sectors = SectorsToRead(drive, firstSector, 0, count);
    if (sectors <= kPiece) return ReadSectors(platform, drive, firstSector, 0, count, into);
    CheckedAdd(firstSector, sectors - 1, "the last sector of the run");
    into.resize(static_cast<std::size_t>(count));
    SectorBuffer piece;
    std::int32_t held = 0;
    for (std::int32_t done = 0; done < sectors; done += kPiece) {
        const std::int64_t bytesLeft = std::int64_t{count} - std::int64_t{done} * kSectorSize;
        const auto bytes = static_cast<std::int32_t>(std::min<std::int64_t>(bytesLeft, std::int64_t{kPiece} * kSectorSize));
        const std::int32_t pieceHeld = ReadSectors(platform, drive, firstSector + done, 0, bytes, piece);
        if (held == done) held += pieceHeld;  // past a short piece nothing more counts
        std::copy(piece.begin(), piece.end(), into.begin() + std::int64_t{done} * kSectorSize);
    }
    return held;
}

SectorBuffer ReadSectors(Platform& platform, const std::string& drive, std::int32_t firstSector,
                         std::int32_t offset, std::int32_t count) {
    SectorBuffer buffer;
    ReadSectors(platform, drive, firstSector, offset, count, buffer);
    return buffer;
}

}  // namespace kelvara
