#include "photos/card_entry.h"

#include <algorithm>
#include <array>

#include "diskio/disk_error.h"
#include "diskio/read_sectors.h"
#include "photos/extent_bytes.h"
#include "photos/photo_date.h"

namespace kelvara {

CardVerdict JudgeByCard(const PhotoCut& cut, const std::vector<CardFile>& entries) {
    CardVerdict verdict{cut, std::nullopt, std::nullopt};
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

namespace {

// The drive read in small pieces: the tables and folders lie scattered over the card, and a
// photo's megabyte pieces would read far more than they need.
class SmallReads final : public ByteSource {
public:
    SmallReads(SectorSource& source, std::int64_t endSector) : source_(source), endSector_(endSector), block_(kBlockBytes) {}

    std::span<const std::uint8_t> From(std::uint64_t offset) override {
        const std::uint64_t start = offset / kBlockBytes * kBlockBytes;
        const std::int64_t sector = static_cast<std::int64_t>(start / kSectorSize);
        if (sector >= endSector_) return {};
        if (start != blockStart_) {
            blockStart_ = start;
            blockLength_ = 0;
            const auto sectors = static_cast<std::size_t>(std::min<std::int64_t>(kBlockBytes / kSectorSize, endSector_ - sector));
            const std::int32_t held =
                source_.Read(sector, std::span<std::uint8_t>(block_.data(), sectors * kSectorSize));
            blockLength_ = static_cast<std::size_t>(std::max(held, 0)) * kSectorSize;
        }
        const auto at = static_cast<std::size_t>(offset - start);
        if (at >= blockLength_) return {};
        return std::span<const std::uint8_t>(block_.data() + at, blockLength_ - at);
    }

private:
    static constexpr std::size_t kBlockBytes = 64 << 10;
    SectorSource& source_;
    std::int64_t endSector_;
    std::vector<std::uint8_t> block_;
    std::uint64_t blockStart_ = UINT64_MAX;
    std::size_t blockLength_ = 0;
};

}  // namespace

struct CardEntries::Reader {
    Reader(SectorSource& source, std::int64_t endSector)
        : bytes(source, endSector), files(bytes, static_cast<std::uint64_t>(std::max<std::int64_t>(endSector, 0)) * kSectorSize) {}
    SmallReads bytes;
    CardFiles files;
};

CardEntries::CardEntries(SectorSource& source, std::int64_t endSector, const CardUse& use)
    : source_(source), endSector_(endSector), use_(use) {}

CardEntries::~CardEntries() = default;

std::vector<CardFile> CardEntries::FilesAt(std::uint64_t start) {
    if (failed_) return {};
    // The card's folders are a help, never a condition: a drive that fails here is read as before.
    try {
        if (!reader_) {
            reader_ = std::make_unique<Reader>(source_, endSector_);
            reader_->files.AddOrphanFolders(use_.folderStarts);
        }
        return reader_->files.FilesStartingAt(start);
    } catch (const DiskError&) {
        failed_ = true;
        reader_.reset();
        return {};
    }
}

CardVerdict CardEntries::Of(std::uint64_t start, const PhotoCut& cut, FileKind kind) {
    const std::vector<CardFile> files = FilesAt(start);
    CardVerdict verdict = JudgeByCard(cut, files);
    // A structure that broke off, or that ran on to an end no entry agrees with (through other
    // data, to the end of another file), is walked again through the chains the card holds.
    const bool settled = verdict.cut.status == PhotoStatus::Whole && verdict.file;
    if (settled || !reader_ || (cut.status != PhotoStatus::Whole && cut.status != PhotoStatus::Incomplete)) return verdict;
    for (const CardFile& file : files) {
        if (!file.chainHeld || file.extents.size() < 2) continue;
        try {
            ExtentBytes chain(reader_->bytes, file.extents);
            const Walk walk = formats::WalkStructure(kind, chain);
            if (walk.end && *walk.end == file.size) return {{PhotoStatus::Whole, file.size}, file, file.extents};
        } catch (const DiskError&) {
            // The pieces cannot be read here: the photo is saved as its own run allows.
        }
    }
    return verdict;
}

std::optional<ClusterLayout> CardEntries::Layout() {
    FilesAt(0);  // reads the card's regions, once
    if (!reader_ || !reader_->files.Region()) return std::nullopt;
    return reader_->files.Region()->layout;
}

std::optional<CardFile> CardEntries::Likeliest(std::uint64_t start) {
    auto files = FilesAt(start);
    if (files.empty()) return std::nullopt;
    return std::move(files.front());
}

std::function<void(std::int64_t, std::span<const std::uint8_t>)> CardFolderWatch::Listener() {
    return [this](std::int64_t first, std::span<const std::uint8_t> bytes) {
        spotter_.Look(static_cast<std::uint64_t>(first) * kSectorSize, bytes);
    };
}

std::unique_ptr<CardFolderWatch> WatchCardFolders(Platform& platform, const std::string& drive, std::int64_t sectors) {
    try {
        if (sectors <= 0) return nullptr;
        std::array<std::uint8_t, kSectorSize> boot{};
        if (ReadSectors(platform, drive, 0, boot) < 1) return nullptr;
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
