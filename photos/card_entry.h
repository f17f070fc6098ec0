#pragma once
// What the card's own file system says of a found photo: the entry whose first cluster is where
// the photo starts, as a check on where its structure ends, and its name, folder and time.

#include <cstdint>
#include <functional>
#include <span>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "filesystem/card_files.h"
#include "filesystem/folder_spotter.h"
#include "diskio/sector_source.h"
#include "photos/photo_resolution.h"
#include "platform/platform.h"

namespace kelvara {

// What a save asks of the card's file system.
struct CardUse {
    bool names = false;                       // save under the card's folders and names where known
    std::vector<std::uint64_t> folderStarts;  // folders no walk from the root reaches, as the scan saw them
    // The card as the command that scanned it holds it open; without it the save opens its own.
    SectorSource* source = nullptr;
};

struct CardVerdict {
    PhotoCut cut;                   // the walk's cut, as the entry corrects it
    std::optional<CardFile> file;   // the entry that is this photo's, when one is
    // Where the photo is read from when it lies in pieces its chain holds: whole through them.
    std::optional<ByteExtents> pieces;
};

// Weighs the walk's cut of the photo starting at a cluster against the entries starting there
// (likeliest first). An entry is this photo's when its size is the structure's length, or, for
// a structure that broke off, more than it. A live entry whose chain the table holds is the
// card's word: where it disagrees with a whole structure the photo is not whole (saved as far
// as its first run of clusters goes) unless the file merely goes on past the structure in one
// run, and then the file is saved whole as the card holds it.
CardVerdict JudgeByCard(const PhotoCut& cut, const std::vector<CardFile>& entries);

// The card's file system on one drive, read on first use through a reader of its own; a drive
// that cannot be read there, or holds no FAT or exFAT volume, says nothing.
class CardEntries {
public:
    CardEntries(SectorSource& source, std::int64_t endSector, const CardUse& use);
    CardEntries(SectorSource&, std::int64_t, CardUse&&) = delete;  // it keeps a reference to `use`
    ~CardEntries();
    // What the card says of the photo of `kind` starting at byte `start` whose walk came to
    // `cut`. Where its entry's chain holds it in pieces and its structure, walked through them,
    // ends where the entry's size does, it is whole through those pieces (also where the walk
    // of its run found an end no entry agrees with).
    CardVerdict Of(std::uint64_t start, const PhotoCut& cut, FileKind kind);
    // The likeliest entry starting at byte `start`, before any walk: what a list shows.
    std::optional<CardFile> Likeliest(std::uint64_t start);
    // Where the volume's clusters lie, for a search of a photo's next piece at cluster starts.
    std::optional<ClusterLayout> Layout();

private:
    struct Reader;
    SectorSource& source_;
    std::int64_t endSector_;
    const CardUse& use_;  // the caller's, kept alive while these entries are asked
    // The entries starting at `start`, the card read on first use; empty once it could not be.
    std::vector<CardFile> FilesAt(std::uint64_t start);
    std::unique_ptr<Reader> reader_;
    bool failed_ = false;
};

// Looks for the card's folders in the bytes the scan reads anyway (ScanContext::sectorsRead).
class CardFolderWatch {
public:
    explicit CardFolderWatch(const BootRegion& region) : spotter_(region) {}
    std::function<void(std::int64_t, std::span<const std::uint8_t>)> Listener();
    const std::vector<std::uint64_t>& Found() const { return spotter_.Found(); }

private:
    FolderSpotter spotter_;
};
// A watch for the drive's folders, when its first sector starts a FAT or exFAT volume.
std::unique_ptr<CardFolderWatch> WatchCardFolders(Platform& platform, const std::string& drive, std::int64_t sectors);

// The entry's time as a file time: UTC where the entry says its offset, else the camera's local
// time taken in the machine's zone, as an EXIF date is.
std::optional<FILETIME> CardFileTime(Platform& platform, const CardTime& time);

}  // namespace kelvara
