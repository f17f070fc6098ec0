#include "diskio/read_sectors_nt.h"

#include <cstring>
#include <new>
#include <span>

#include "diskio/disk_error.h"
#include "diskio/read_sectors.h"
#include "platform/drive_string.h"

namespace kelvara {
namespace {

// The whole 64-bit byte position goes to the move, so every sector of the card is in reach,
// not only the first 2 GiB.
void MoveTo(Platform& platform, HANDLE volume, std::int64_t position) {
    LONG high = static_cast<LONG>(position >> 32);
    platform.SetFilePointer(volume, static_cast<LONG>(static_cast<std::uint32_t>(position)), &high, FILE_BEGIN);
}

// One read for the whole run. When it fails or stops short, the rest is read again a sector
// at a time, so only the sectors that truly cannot be read stay zero; a short sector read
// means the end of the volume, and a medium that is not ready any more has gone, past which
// everything is zero. Returns the bytes of the run before that end: whole sectors. The sectors
// that stayed zero although the volume holds them go to `unreadable`, by their number.
std::size_t ReadRun(Platform& platform, HANDLE volume, std::int64_t position, std::span<std::uint8_t> run,
                    SectorRanges* unreadable) {
    MoveTo(platform, volume, position);
    DWORD got = 0;
    const bool ok = platform.ReadFile(volume, run, got);
    if (ok && got == run.size()) return run.size();

    std::size_t at = ok ? (std::min<std::size_t>(got, run.size()) / kSectorSize) * kSectorSize : 0;
    for (; at < run.size(); at += kSectorSize) {
        MoveTo(platform, volume, position + static_cast<std::int64_t>(at));
        DWORD sectorGot = 0;
        const bool sectorOk = platform.ReadFile(volume, run.subspan(at, kSectorSize), sectorGot);
        if (sectorOk && sectorGot == kSectorSize) continue;
        if (!sectorOk && platform.GetLastError() != ERROR_NOT_READY) {
            std::memset(run.data() + at, 0, kSectorSize);
            if (unreadable) unreadable->Add((position + static_cast<std::int64_t>(at)) / kSectorSize, 1);
            continue;
        }
        const std::size_t kept = sectorOk ? std::min<std::size_t>(sectorGot, kSectorSize) : 0;
        std::memset(run.data() + at + kept, 0, run.size() - at - kept);
        return at;
    }
    return run.size();
}

}  // namespace

std::string VolumePath(const std::string& drive) {
    return std::string("\\\\.\\") + DriveLetter(drive) + ":";
}

HANDLE OpenVolumeToRead(Platform& platform, const std::string& drive) {
    // A recovery tool never asks for write access to the medium it recovers from.
    return platform.CreateFileA(VolumePath(drive), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, 0);
}

std::int32_t ReadVolumeRun(Platform& platform, HANDLE volume, std::int64_t firstSector, std::span<std::uint8_t> run,
                           SectorRanges* unreadable) {
    return static_cast<std::int32_t>(ReadRun(platform, volume, firstSector * kSectorSize, run, unreadable) / kSectorSize);
}

}  // namespace kelvara
