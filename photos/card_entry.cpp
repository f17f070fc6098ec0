#include "photos/card_entry.h"

#include <array>

#include "diskio/disk_error.h"
#include "formats/byte_reader.h"
#include "photos/drive_bytes.h"
#include "photos/photo_date.h"

namespace kelvara {

CardVerdict JudgeByCard(const PhotoCut& cut, const std::vector<CardFile>& entries) {
    CardVerdict verdict{cut, std::nullopt};
    if (cut.status != PhotoStatus::Whole && cut.status != PhotoStatus::Incomplete) return verdict;
    const CardFile* held = nullptr;  // a live entry the table holds: the card's word
    for (const CardFile& file : entries)
        if (!file.deleted && !file.orphan && file.chainHeld && !file.extents.empty()) {
            held = &file;
            break;
        }
    if (held) {
        verdict.file = *held;
        const std::uint64_t run = held->extents.front().length;
        if (cut.status == PhotoStatus::Whole && held->size == cut.length) return verdict;
        if (cut.status == PhotoStatus::Whole && held->extents.size() == 1 && held->size > cut.length) {
            verdict.cut.length = held->size;
            return verdict;
        }
        verdict.cut = {PhotoStatus::Incomplete, std::min(cut.length, run)};
        if (cut.status == PhotoStatus::Whole && held->size < cut.length) verdict.cut.length = held->size;
        return verdict;
    }
    for (const CardFile& file : entries)
        if (cut.status == PhotoStatus::Whole ? file.size == cut.length : file.size > cut.length) {
            verdict.file = file;
            break;
        }
    return verdict;
}

struct CardEntries::Reader {
    Reader(Platform& platform, const std::string& drive, std::int64_t endSector) : bytes(platform, drive, 0, 0, endSector), files(bytes) {}
    DriveBytes bytes;
    CardFiles files;
};

CardEntries::CardEntries(Platform& platform, const std::string& drive, std::int64_t endSector, const CardUse& use)
    : platform_(platform), drive_(drive), endSector_(endSector), use_(use) {}

CardEntries::~CardEntries() = default;

CardVerdict CardEntries::Of(std::uint64_t start, const PhotoCut& cut) {
    if (failed_) return {cut, std::nullopt};
    // The card's folders are a help, never a condition: a drive that fails here is read as before.
    try {
        if (!reader_) {
            reader_ = std::make_unique<Reader>(platform_, drive_, endSector_);
            reader_->files.AddOrphanFolders(use_.folderStarts);
        }
        return JudgeByCard(cut, reader_->files.FilesStartingAt(start));
    } catch (const DiskError&) {
        failed_ = true;
        reader_.reset();
        return {cut, std::nullopt};
    }
}

std::function<void(std::int64_t, std::span<const std::uint8_t>)> CardFolderWatch::Listener() {
    return [this](std::int64_t first, std::span<const std::uint8_t> bytes) {
        spotter_.Look(static_cast<std::uint64_t>(first) * kSectorSize, bytes);
    };
}

std::unique_ptr<CardFolderWatch> WatchCardFolders(Platform& platform, const std::string& drive, std::int64_t sectors) {
    try {
        DriveBytes bytes(platform, drive, 0, 1, sectors);
        std::array<std::uint8_t, kSectorSize> boot{};
        if (!formats::ReadAt(bytes, 0, boot)) return nullptr;
        if (const auto region = ReadBootRegion(boot)) return std::make_unique<CardFolderWatch>(*region);
    } catch (const DiskError&) {
        // The scan meets the same failure and says so.
    }
    return nullptr;
}

std::optional<FILETIME> CardFileTime(Platform& platform, const CardTime& time) {
    SYSTEMTIME at{time.year, time.month, 0, time.day, time.hour, time.minute, time.second, 0};
    if (time.utcOffsetMinutes) {
        const auto local = FileTimeOf(at);
        if (!local) return std::nullopt;
        const std::uint64_t ticks = std::uint64_t{local->dwHighDateTime} << 32 | local->dwLowDateTime;
        const std::int64_t shift = std::int64_t{*time.utcOffsetMinutes} * 60 * 10000000;
        const std::uint64_t utc = ticks - static_cast<std::uint64_t>(shift);
        return FILETIME{static_cast<DWORD>(utc), static_cast<DWORD>(utc >> 32)};
    }
    if (!platform.TzSpecificLocalTimeToSystemTime(SYSTEMTIME(at), at)) return std::nullopt;
    return FileTimeOf(at);
}

}  // namespace kelvara
