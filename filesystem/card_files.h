#pragma once
// What a card's own file system still says of its files: every folder reachable from the root,
// live and deleted entries, and folders no walk from the root reaches (a quick format leaves
// them in the data area). Read only, never written; it names and sizes photos the scan finds and
// never decides what is a photo.
//
// Hostile volumes are bounded: folder clusters are read once each however chains and folders
// loop, chains stop at the card's clusters, and at most kMostFiles entries and kMostNameBytes
// of names are kept, so memory stays small and time linear in the folders read.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "diskio/byte_extents.h"
#include "filesystem/allocation_table.h"
#include "filesystem/boot_region.h"
#include "filesystem/directory_entries.h"
#include "formats/byte_source.h"

namespace kelvara {

struct CardFile {
    std::string name;    // as the card spells it: not checked for use as a file name
    std::string folder;  // its folders from the root, joined by '/'; "" at the root
    std::uint64_t size = 0;
    std::optional<CardTime> modified;
    bool deleted = false;
    bool orphan = false;     // in a folder no walk from the root reaches
    bool chainHeld = false;  // the table still holds its chain, or the entry says it lies in one run
    ByteExtents extents;     // where chainHeld: its bytes on the drive, in order
};

class CardFiles {
public:
    static constexpr std::size_t kMostFiles = 250000;
    static constexpr std::size_t kMostNameBytes = 8 << 20;

    // Reads the volume at the start of `drive` (kept, for the chains asked for later), `driveBytes`
    // long where known: clusters the boot sector claims past it are not the card's. A drive
    // without a FAT or exFAT boot sector holds no files here.
    explicit CardFiles(ByteSource& drive, std::optional<std::uint64_t> driveBytes = std::nullopt);
    ~CardFiles();
    CardFiles(const CardFiles&) = delete;
    CardFiles& operator=(const CardFiles&) = delete;

    const std::optional<BootRegion>& Region() const { return region_; }

    // Reads the folder clusters starting at these bytes that no walk from the root reached.
    void AddOrphanFolders(std::span<const std::uint64_t> starts);

    // The files whose first cluster starts at byte `start` of the drive, likeliest first: those
    // reachable from the root before orphans, live before deleted.
    std::vector<CardFile> FilesStartingAt(std::uint64_t start);

    std::size_t FileCount() const { return files_.size(); }

private:
    struct Record {
        std::uint32_t firstCluster;
        std::uint32_t folder;  // key of the folder holding it
        std::uint64_t size;
        std::uint32_t nameAt;
        std::uint16_t nameLength;
        std::uint8_t rank;  // 0 live, 1 deleted; +2 in an orphan folder
        bool contiguous;
        std::optional<CardTime> modified;
    };
    struct Folder {
        std::uint32_t parent = kUnknown;
        std::uint32_t nameAt = 0;
        std::uint16_t nameLength = 0;
        bool named = false;
    };
    static constexpr std::uint32_t kRoot = 0;
    static constexpr std::uint32_t kUnknown = UINT32_MAX;

    // Reads one folder whose first cluster is `first` (kRoot: the root), its entries going into
    // folder `key`; `chain` follows the table, else only clusters in one run of `runBytes`.
    // A folder still to be read: its first cluster, and how its clusters follow.
    struct Subfolder {
        std::uint32_t first;
        bool chain;
        std::uint64_t runBytes;
    };
    void ReadFolder(std::uint32_t key, std::uint32_t first, bool chain, std::uint64_t runBytes, bool orphan,
                    std::vector<Subfolder>* subfolders);
    // Reads bytes [start, start + length) as entries; false at the folder's end mark.
    // `full` is called whenever `into` holds a few thousand entries, to take them.
    bool ReadEntries(std::uint64_t start, std::uint64_t length, FatDirectoryReader& fat, ExfatDirectoryReader& exfat,
                     std::vector<DirectoryEntry>& into, const std::function<void()>& full = {});
    // Takes in a folder's entries: names its subfolders (and lists them, where asked to walk
    // on) and keeps its files.
    void Absorb(std::uint32_t key, std::vector<DirectoryEntry>& entries, bool orphan, std::vector<Subfolder>* subfolders);
    void Keep(std::uint32_t key, const std::vector<DirectoryEntry>& entries, bool orphan);
    bool Visit(std::uint32_t cluster);
    std::string PathOf(std::uint32_t key) const;
    std::string NameOf(std::uint32_t at, std::uint16_t length) const { return names_.substr(at, length); }
    std::optional<std::uint32_t> StoreName(const std::string& name);

    ByteSource& drive_;
    std::optional<BootRegion> region_;
    std::unique_ptr<AllocationTable> table_;
    std::unordered_set<std::uint32_t> visitedSet_;  // folder clusters read
    std::unordered_map<std::uint32_t, Folder> folders_;
    struct Fill {
        std::uint32_t lastFile = 0;  // the highest first cluster of its files
        bool open = false;           // its last cluster read lacks the end mark, and its chain is gone
    };
    std::unordered_map<std::uint32_t, Fill> fills_;
    std::vector<Record> files_;
    bool sorted_ = true;
    std::string names_;
};

}  // namespace kelvara
