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

namespace {

// Opens the volume, reads whole sectors from `firstSector` into the staging bytes `stage` hands
// out once the volume is open, and closes it. False, leaving everything alone, when the volume
// cannot be opened.
template <typename Stage>
bool ReadVolume(Platform& platform, const std::string& text, std::int64_t firstSector, Stage stage,
                std::int32_t* sectorsHeld, SectorRanges* unreadable) {
    // A recovery tool never asks for write access to the medium it recovers from.
    const HANDLE volume = platform.CreateFileA(VolumePath(text), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                               OPEN_EXISTING, 0);
    if (volume == INVALID_HANDLE_VALUE) return false;
    std::span<std::uint8_t> run;
    try {
        run = stage();
    } catch (...) {
        platform.CloseHandle(volume);
        throw;
    }
    const std::size_t heldBytes = ReadRun(platform, volume, firstSector * kSectorSize, run, unreadable);
    platform.CloseHandle(volume);
    if (sectorsHeld) *sectorsHeld = static_cast<std::int32_t>(heldBytes / kSectorSize);
    return true;
}

}  // namespace

bool ReadSectorsNT(Platform& platform, const std::string& drive, std::int64_t firstSector,
                   std::int32_t offset, std::int32_t count, SectorBuffer& into, std::int32_t* sectorsHeld,
                   SectorRanges* unreadable) {
    const std::string text = drive;
    const std::int32_t sectors = SectorsToRead(text, firstSector, offset, count);
    const std::size_t runBytes = static_cast<std::size_t>(sectors) * kSectorSize;
    const auto stage = [&]() -> std::span<std::uint8_t> {
        try {
            into.resize(runBytes);  // the staging buffer; reused storage is not cleared again
        } catch (const std::bad_alloc&) {
            throw DiskError(DiskError::Kind::NoMemory, "Not enough memory to read " + std::to_string(sectors) + " sectors");
        }
        return into;
    };
    if (!ReadVolume(platform, text, firstSector, stage, sectorsHeld, unreadable)) return false;
    if (offset != 0 || static_cast<std::size_t>(count) != runBytes) {
        std::memmove(into.data(), into.data() + offset, static_cast<std::size_t>(count));
        into.resize(static_cast<std::size_t>(count));
    }
    return true;
}

bool ReadSectorsNT(Platform& platform, const std::string& drive, std::int64_t firstSector, std::span<std::uint8_t> into,
                   std::int32_t* sectorsHeld, SectorRanges* unreadable) {
    const std::string text = drive;
    SectorsToRead(text, firstSector, 0, static_cast<std::int32_t>(into.size()));
    return ReadVolume(platform, text, firstSector, [into] { return into; }, sectorsHeld, unreadable);
}

}  // namespace kelvara
