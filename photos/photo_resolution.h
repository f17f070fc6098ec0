#pragma once
// Which found entries are photos of their own, and how much of each is the photo, decided over
// the entries in card order as Save All meets them.
//
// A photo's structure may reach past the next entry's start only where that entry lies wholly
// inside it: a thumbnail in an EXIF segment, a Multi-Picture preview after the photo, a chance
// FF D8 in a clip's data. Such an entry is Inside and is not saved on its own; so is a broken
// one that starts inside it, however far its own bytes run on. A structure that reaches over a
// whole entry sticking out past its end has broken off where it met that entry (its
// lengths alone do not make the other photo its own): it covers nothing, is saved as far as it
// held together (BrokenLength) and is Incomplete, and the entry it met is judged on its own. A
// JPEG entry with nothing of a picture is NotAPhoto.
//
// Every entry is walked once, from its start, through one reader of the drive. A walk that
// reaches over the start of an entry not yet walked (its bytes jump past it) waits while that
// entry is walked, so a card of structures that all reach to its end costs a few walks of the
// card, not one for every entry. Walks within walks go a few levels deep at most; the deepest
// sees the drive end at the next entry. So Save All reads the card a small number of times and
// writes it at most about twice (whole photos never overlap; broken ones stay within their runs),
// and memory stays small: a few numbers for each level, and a status byte in each record.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "formats/byte_source.h"
#include "scan/found_photo.h"

namespace kelvara {

// What saving one entry comes to: its status, and for a Whole or Incomplete photo the bytes to
// save from its start.
struct PhotoCut {
    PhotoStatus status = PhotoStatus::Unknown;
    std::uint64_t length = 0;
};

class PhotoResolution {
public:
    // For a table a scan is still filling: waits until it holds entry `index`; false when the scan
    // ended without one.
    using EntryWait = std::function<bool(std::size_t)>;

    // The entries of `table` found on `drive` (the drive text), whose bytes `bytes` gives from
    // the drive's first sector on. With `wait`, the table is still growing: an entry not in it
    // yet is waited for rather than taken to be none, so every entry is judged as on the whole
    // table.
    PhotoResolution(FoundPhotoTable& table, ByteSource& bytes, const std::string& drive, EntryWait wait = {});

    // What entry `index` (on this drive) comes to. Walks it, unless a walk of an earlier entry
    // already did, and with it every later entry its walk reaches over; their statuses go into
    // the table. Entries before the first one asked for are not looked at: asked alone, an entry
    // is saved by its own structure. Throws what the bytes throw (DiskError when the drive
    // cannot be read); the statuses of entries not finished then stay as they were.
    PhotoCut Resolve(std::size_t index);

private:
    class EntryBytes;
    // Where entries below a level reach: start and end of what is kept of each, in bytes from
    // the drive's start. Only those no other starts before and ends after are kept.
    class Reaches {
    public:
        void Add(std::uint64_t start, std::uint64_t end);
        // The first start before `end` of an entry reaching past it.
        std::optional<std::uint64_t> PastEnd(std::uint64_t end) const;

    private:
        struct Reach {
            std::uint64_t start, end;
        };
        std::vector<Reach> reaches_;  // ascending in both
    };
    struct Level {
        std::size_t index;
        Reaches inner;
    };

    void WalkEntry(std::size_t index);
    PhotoCut CutAgain(std::size_t index, PhotoStatus status);
    std::uint64_t StartOf(std::size_t index) const;
    // The start of entry `index` when it is on this drive; nullopt past the table or off it.
    std::optional<std::uint64_t> StartOnDrive(std::size_t index) const;
    void Remember(std::size_t index, const PhotoCut& cut);

    FoundPhotoTable& table_;
    ByteSource& bytes_;
    DriveText drive_;
    EntryWait wait_;
    std::size_t first_ = 0;  // entries from here up to next_ were walked in this pass
    std::size_t next_ = 0;
    std::vector<Level> levels_;
    struct Remembered {
        std::size_t index;
        PhotoCut cut;
    };
    std::vector<Remembered> cuts_;  // the latest photos' cuts, so most need no second walk
    std::size_t cutsAt_ = 0;
};

}  // namespace kelvara
