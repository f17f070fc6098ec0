#include "diskio/sector_source.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "diskio/disk_error.h"
#include "diskio/is_windows_nt.h"
#include "diskio/read_sectors.h"
#include "diskio/read_sectors_9x.h"
#include "diskio/read_sectors_nt.h"
#include "platform/drive_string.h"
#include "platform/last_error_text.h"

namespace kelvara {

SectorSource::SectorSource(Platform& platform, std::string drive) : platform_(platform), drive_(std::move(drive)) {}

SectorSource::~SectorSource() { Close(); }

bool SectorSource::Nt() {
    if (!nt_) nt_ = IsWindowsNT(platform_);
    return *nt_;
}

void SectorSource::CannotOpen() const {
    std::string message = "Cannot open drive " + VolumePath(drive_).substr(4) + ".";
    if (const auto reason = LastErrorReason(platform_)) message += " " + *reason;
    throw DiskError(DiskError::Kind::CannotOpen, message);
}

void SectorSource::Close() {
    if (volume_ != INVALID_HANDLE_VALUE) platform_.CloseHandle(volume_);
    volume_ = INVALID_HANDLE_VALUE;
}

void SectorSource::Open() {
    if (volume_ != INVALID_HANDLE_VALUE) return;
    volume_ = OpenVolumeToRead(platform_, drive_);
    if (volume_ == INVALID_HANDLE_VALUE) CannotOpen();
    if (markSector_ < 0) return;
    // Opened again after it came short: read on only if it is the same card.
    std::vector<std::uint8_t> now(kSectorSize);
    if (ReadVolumeRun(platform_, volume_, markSector_, now, nullptr) == 1 && now == mark_) return;
    Close();
    throw DiskError(DiskError::Kind::CannotOpen,
                    "Drive " + std::string(1, DriveLetter(drive_)) + ":\\ now holds another card than the one being "
                    "read. Put that card back to go on.");
}

std::int32_t SectorSource::ReadVolume(std::int64_t firstSector, std::span<std::uint8_t> run,
                                      SectorRanges* unreadable) {
    if (!tap_) return ReadCard(firstSector, run, unreadable);
    return tap_->Read(firstSector, run, unreadable, [this](std::int64_t first, std::span<std::uint8_t> into, SectorRanges* bad) {
        return ReadCard(first, into, bad);
    });
}

std::int32_t SectorSource::ReadCard(std::int64_t firstSector, std::span<std::uint8_t> run, SectorRanges* unreadable) {
    Open();
    const std::int32_t held = ReadVolumeRun(platform_, volume_, firstSector, run, unreadable);
    if (markSector_ < 0)
        for (std::int32_t i = 0; i < held; ++i) {
            const auto sector = run.subspan(static_cast<std::size_t>(i) * kSectorSize, kSectorSize);
            if (std::all_of(sector.begin(), sector.end(), [](std::uint8_t b) { return b == 0; })) continue;
            markSector_ = firstSector + i;
            mark_.assign(sector.begin(), sector.end());
            break;
        }
    // The card may have gone: it is opened again when next asked for, and checked.
    if (static_cast<std::size_t>(held) * kSectorSize < run.size()) Close();
    return held;
}

std::int32_t SectorSource::Read(std::int64_t firstSector, std::int32_t offset, std::int32_t count, SectorBuffer& into,
                                SectorRanges* unreadable) {
    const std::int32_t sectors = SectorsToRead(drive_, firstSector, offset, count);
    if (!Nt()) {
        if (!ReadSectors9x(platform_, drive_, firstSector, offset, count, into, unreadable)) CannotOpen();
        return sectors;  // the 9x service does not tell the volume's end from an unreadable sector
    }
    Open();  // before the staging buffer is touched: a drive that cannot be opened leaves it alone
    const std::size_t runBytes = static_cast<std::size_t>(sectors) * kSectorSize;
    try {
        into.resize(runBytes);  // the staging buffer; reused storage is not cleared again
    } catch (const std::bad_alloc&) {
        throw DiskError(DiskError::Kind::NoMemory, "Not enough memory to read " + std::to_string(sectors) + " sectors");
    }
    const std::int32_t held = ReadVolume(firstSector, into, unreadable);
    if (offset != 0 || static_cast<std::size_t>(count) != runBytes) {
        std::memmove(into.data(), into.data() + offset, static_cast<std::size_t>(count));
        into.resize(static_cast<std::size_t>(count));
    }
    return held;
}

std::int32_t SectorSource::Read(std::int64_t firstSector, std::span<std::uint8_t> into, SectorRanges* unreadable) {
    if (into.size() % kSectorSize != 0 || into.size() > static_cast<std::size_t>(INT32_MAX))
        throw DiskError(DiskError::Kind::BadArgument, "A read into memory must take whole sectors");
    const auto count = static_cast<std::int32_t>(into.size());
    const std::int32_t sectors = SectorsToRead(drive_, firstSector, 0, count);
    if (!Nt()) {
        if (!ReadSectors9x(platform_, drive_, firstSector, 0, count, into, unreadable)) CannotOpen();
        return sectors;
    }
    return ReadVolume(firstSector, into, unreadable);
}

SectorSource& DriveSource::For(const std::string& drive) {
    if (given_ && DriveLetter(given_->drive()) == DriveLetter(drive)) return *given_;
    if (!own_ || DriveLetter(own_->drive()) != DriveLetter(drive)) {
        own_.reset();
        own_.emplace(platform_, drive);
    }
    return *own_;
}

}  // namespace kelvara
