#include "filesystem/card_files.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <deque>
#include <map>
#include <unordered_set>

#include "filesystem/folder_spotter.h"
#include "formats/byte_reader.h"

namespace kelvara {
namespace {

constexpr std::uint64_t kPieceBytes = 64 << 10;       // folders are read this much at a time
constexpr std::uint64_t kMostFolderBytes = 64 << 20;  // of one folder (FAT's hold 2 MiB at most)
constexpr std::size_t kMostFolderClusters = 1 << 18;  // of the whole card
constexpr std::size_t kMostDepth = 64;
constexpr std::size_t kMostFolders = 100000;
constexpr std::size_t kBatchEntries = 4096;
constexpr std::size_t kMostAtOneCluster = 8;

// The cluster starts with "." naming itself and "..": the first cluster of a FAT folder.
std::optional<std::uint32_t> FatFolderParent(std::span<const std::uint8_t> s, std::uint32_t cluster) {
    if (s.size() < 64 || std::memcmp(s.data(), ".          ", 11) != 0 || std::memcmp(s.data() + 32, "..         ", 11) != 0)
        return std::nullopt;
    const std::uint32_t self = std::uint32_t{LoadLe16(s, 20)} << 16 | LoadLe16(s, 26);
    if (self != cluster) return std::nullopt;
    return std::uint32_t{LoadLe16(s, 52)} << 16 | LoadLe16(s, 58);
}

// Where the files at one end of a folder's entries (in their order) start on the card: the
// middle of the last few, or the first few, so that an old slot a new file took does not count.
std::optional<std::uint32_t> FilesAtTheEnd(const std::vector<DirectoryEntry>& entries, const ClusterLayout& layout,
                                           bool first) {
    std::vector<std::uint32_t> clusters;
    for (const DirectoryEntry& e : entries)
        if (!e.directory && layout.Holds(e.firstCluster)) clusters.push_back(e.firstCluster);
    if (clusters.empty()) return std::nullopt;
    constexpr std::size_t kFew = 8;
    if (clusters.size() > kFew) {
        if (first)
            clusters.resize(kFew);
        else
            clusters.erase(clusters.begin(), clusters.end() - kFew);
    }
    std::nth_element(clusters.begin(), clusters.begin() + clusters.size() / 2, clusters.end());
    return clusters[clusters.size() / 2];
}

// A camera's folder name: three digits from 100 and five letters, digits or '_' (100CANON).
bool CameraFolder(const std::string& name) {
    if (name.size() != 8 || name[0] < '1' || name[0] > '9') return false;
    for (std::size_t i = 0; i < 8; ++i) {
        const auto c = static_cast<unsigned char>(name[i]);
        if (i < 3 ? !std::isdigit(c) : !(std::isalnum(c) || c == '_')) return false;
    }
    return true;
}

// Where the first character of a deleted short name was lost, a sibling whose name is alike
// after it (IMG_0041.JPG beside ?MG_0042.JPG) gives it back, as cameras name a folder's files
// alike; where every sibling lost it too, the prefixes cameras name their photos with do.
void GuessLostFirstCharacters(std::vector<DirectoryEntry>& entries) {
    static constexpr std::pair<const char*, char> kCameraPrefixes[] = {
        {"MG_", 'I'}, {"SC_", 'D'}, {"SCF", 'D'}, {"SCN", 'D'}, {"SC0", 'D'}, {"MGP", 'I'}, {"ICT", 'P'},
        {"IMG", 'C'}, {"VI_", 'M'}, {"DIM", 'S'}, {"OPR", 'G'}, {"DSC", '_'}, {"VID", 'M'}, {"ANA", 'P'}, {"CIM", 'D'}};
    for (DirectoryEntry& lost : entries) {
        if (!lost.firstLost || lost.name.size() < 4) continue;
        for (const DirectoryEntry& known : entries)
            if (!known.firstLost && known.name.size() == lost.name.size() && known.name.compare(1, 3, lost.name, 1, 3) == 0 &&
                static_cast<unsigned char>(known.name[0]) < 0x80) {
                lost.name[0] = known.name[0];
                lost.firstLost = false;
                break;
            }
        for (const auto& [rest, first] : kCameraPrefixes)
            if (lost.firstLost && lost.name.compare(1, 3, rest) == 0) {
                lost.name[0] = first;
                break;
            }
        // A camera's folders are numbered from 100 (100CANON); few pass 199.
        if (lost.firstLost && lost.directory && CameraFolder("1" + lost.name.substr(1))) lost.name[0] = '1';
    }
}

}  // namespace

CardFiles::CardFiles(ByteSource& drive, std::optional<std::uint64_t> driveBytes) : drive_(drive) {
    std::array<std::uint8_t, 512> boot{};
    if (!formats::ReadAt(drive_, 0, boot)) return;
    region_ = ReadBootRegion(boot);
    if (!region_) return;
    ClusterLayout& layout = region_->layout;
    if (driveBytes) {
        const std::uint64_t room = *driveBytes > layout.dataStart ? (*driveBytes - layout.dataStart) / layout.clusterBytes : 0;
        if (room < layout.clusterCount) layout.clusterCount = static_cast<std::uint32_t>(room);
        if (!layout.Holds(region_->rootCluster) && region_->rootCluster != 0) layout.clusterCount = 0;
    }
    table_ = std::make_unique<AllocationTable>(drive_, *region_);

    std::deque<Subfolder> pending;
    std::vector<Subfolder> subfolders;
    if (region_->kind == FileSystemKind::Fat12 || region_->kind == FileSystemKind::Fat16) {
        FatDirectoryReader fat;
        ExfatDirectoryReader exfat;
        std::vector<DirectoryEntry> entries;
        ReadEntries(region_->rootStart, region_->rootBytes, fat, exfat, entries);
        Absorb(kRoot, entries, false, &subfolders);
    } else {
        ReadFolder(kRoot, region_->rootCluster, true, 0, false, &subfolders);
    }
    // Breadth first, each folder's clusters once: loops in folders end where they began.
    auto queue = [&] {
        for (const Subfolder& folder : subfolders)
            if (pending.size() < kMostFolders) pending.push_back(folder);
        subfolders.clear();
    };
    queue();
    while (!pending.empty()) {
        const Subfolder next = pending.front();
        pending.pop_front();
        ReadFolder(next.first, next.first, next.chain, next.runBytes, false, &subfolders);
        queue();
    }
}

CardFiles::~CardFiles() = default;

bool CardFiles::Visit(std::uint32_t cluster) {
    return visitedSet_.size() < kMostFolderClusters && visitedSet_.insert(cluster).second;
}

bool CardFiles::ReadEntries(std::uint64_t start, std::uint64_t length, FatDirectoryReader& fat, ExfatDirectoryReader& exfat,
                            std::vector<DirectoryEntry>& into, const std::function<void()>& full) {
    std::vector<std::uint8_t> piece;
    const EntrySink sink = [&](DirectoryEntry&& entry) { into.push_back(std::move(entry)); };
    for (std::uint64_t done = 0; done < length; done += kPieceBytes) {
        piece.resize(static_cast<std::size_t>(std::min(kPieceBytes, length - done)));
        if (!formats::ReadAt(drive_, start + done, piece)) return false;
        const bool going = region_->kind == FileSystemKind::Exfat ? exfat.Read(piece, sink) : fat.Read(piece, sink);
        if (!going) return false;
        if (full && into.size() >= kBatchEntries) full();
    }
    return true;
}

void CardFiles::ReadFolder(std::uint32_t key, std::uint32_t first, bool chain, std::uint64_t runBytes, bool orphan,
                           std::vector<Subfolder>* subfolders) {
    const ClusterLayout& layout = region_->layout;
    const std::uint64_t most = kMostFolderBytes / layout.clusterBytes + 1;
    std::vector<std::uint32_t> clusters;
    if (chain) {
        table_->Chain(first, most, [&](std::uint32_t cluster) { clusters.push_back(cluster); });
        if (clusters.empty() && layout.Holds(first)) clusters.push_back(first);
    } else {
        const std::uint64_t count = std::min(most, (runBytes + layout.clusterBytes - 1) / layout.clusterBytes);
        for (std::uint64_t i = 0; i < std::max<std::uint64_t>(count, 1) && layout.Holds(first + static_cast<std::uint32_t>(i)); ++i)
            clusters.push_back(first + static_cast<std::uint32_t>(i));
    }
    FatDirectoryReader fat;
    ExfatDirectoryReader exfat;
    std::vector<DirectoryEntry> entries;
    bool ended = false;
    // A long folder is taken in a few thousand entries at a time, so memory stays small.
    const auto absorb = [&] {
        Absorb(key, entries, orphan, subfolders);
        entries.clear();
    };
    for (const std::uint32_t cluster : clusters) {
        if (!Visit(cluster)) break;
        if (!ReadEntries(layout.StartOf(cluster), layout.clusterBytes, fat, exfat, entries, absorb)) {
            ended = true;
            break;
        }
    }
    if (key != kRoot && (fills_.size() < kMostFolders || fills_.count(key))) {
        // Whether a later cluster of this folder may lie elsewhere, its chain being gone.
        Fill& fill = fills_[key];
        if (const auto last = FilesAtTheEnd(entries, layout, false)) fill.lastFile = *last;
        fill.open = !chain && !ended;
    }
    Absorb(key, entries, orphan, subfolders);
}

void CardFiles::Absorb(std::uint32_t key, std::vector<DirectoryEntry>& entries, bool orphan,
                       std::vector<Subfolder>* subfolders) {
    const ClusterLayout& layout = region_->layout;
    GuessLostFirstCharacters(entries);
    // Live entries first, so a folder's live name wins over a deleted one of the same cluster.
    std::stable_sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return !a.deleted && b.deleted; });
    for (const DirectoryEntry& e : entries) {
        if (!e.directory || !layout.Holds(e.firstCluster)) continue;
        if (folders_.size() >= kMostFolders && !folders_.count(e.firstCluster)) continue;
        Folder& folder = folders_[e.firstCluster];
        if (!folder.named) {
            if (const auto at = StoreName(e.name)) {
                folder.nameAt = *at;
                folder.nameLength = static_cast<std::uint16_t>(e.name.size());
                folder.named = true;
                folder.parent = key;
            }
        }
        if (subfolders && visitedSet_.count(e.firstCluster) == 0) {
            // A deleted FAT folder is read only where its first cluster still shows it is one.
            if (e.deleted && region_->kind != FileSystemKind::Exfat) {
                std::array<std::uint8_t, 64> head{};
                if (!formats::ReadAt(drive_, layout.StartOf(e.firstCluster), head) || !FatFolderParent(head, e.firstCluster))
                    continue;
            }
            // A deleted FAT folder's chain is gone: its first cluster is all that is known. An exFAT
            // folder in one run says how long it is.
            if (region_->kind != FileSystemKind::Exfat)
                subfolders->push_back({e.firstCluster, !e.deleted, layout.clusterBytes});
            else
                subfolders->push_back({e.firstCluster, !e.contiguous, e.contiguous ? e.size : 0});
        }
    }
    Keep(key, entries, orphan);
}

void CardFiles::Keep(std::uint32_t key, const std::vector<DirectoryEntry>& entries, bool orphan) {
    for (const DirectoryEntry& e : entries) {
        if (e.directory || e.size == 0 || !region_->layout.Holds(e.firstCluster) || files_.size() >= kMostFiles) continue;
        const auto at = StoreName(e.name);
        if (!at) continue;
        files_.push_back({e.firstCluster, key, e.size, *at, static_cast<std::uint16_t>(e.name.size()),
                          static_cast<std::uint8_t>((e.deleted ? 1 : 0) + (orphan ? 2 : 0)), e.contiguous, e.modified});
        sorted_ = false;
    }
}

std::optional<std::uint32_t> CardFiles::StoreName(const std::string& name) {
    if (name.empty() || name.size() > 1024 || names_.size() + name.size() > kMostNameBytes) return std::nullopt;
    const auto at = static_cast<std::uint32_t>(names_.size());
    names_ += name;
    return at;
}

void CardFiles::AddOrphanFolders(std::span<const std::uint64_t> starts) {
    if (!region_) return;
    const ClusterLayout& layout = region_->layout;
    std::vector<std::uint32_t> clusters;
    for (const std::uint64_t start : starts)
        if (const auto cluster = layout.StartingAt(start)) clusters.push_back(*cluster);
    std::sort(clusters.begin(), clusters.end());
    clusters.erase(std::unique(clusters.begin(), clusters.end()), clusters.end());

    const bool exfat = region_->kind == FileSystemKind::Exfat;
    // First clusters of folders first: a FAT folder's "." and ".." tell it and its parent.
    std::vector<std::uint32_t> later;
    for (const std::uint32_t cluster : clusters) {
        if (visitedSet_.count(cluster)) continue;
        std::array<std::uint8_t, 64> head{};
        if (!formats::ReadAt(drive_, layout.StartOf(cluster), head)) continue;
        const auto parent = exfat ? std::nullopt : FatFolderParent(head, cluster);
        if (!parent && !(exfat && folders_.count(cluster))) {
            later.push_back(cluster);
            continue;
        }
        if (folders_.size() >= kMostFolders && !folders_.count(cluster)) continue;
        Folder& folder = folders_[cluster];
        if (parent && folder.parent == kUnknown)
            folder.parent = *parent == 0 || *parent == region_->rootCluster ? kRoot : *parent;
        ReadFolder(cluster, cluster, false, layout.clusterBytes, true, nullptr);
    }
    // A later cluster of a folder whose chain is gone belongs to a folder whose clusters read so
    // far end without the end mark; cameras write files upwards, so of those the one whose last
    // file comes just before this cluster's first.
    struct Later {
        std::uint32_t cluster, firstFile;
    };
    std::vector<Later> order;
    for (const std::uint32_t cluster : later) {
        FatDirectoryReader fat;
        ExfatDirectoryReader exfat;
        std::vector<DirectoryEntry> entries;
        std::optional<std::uint32_t> firstFile;
        ReadEntries(layout.StartOf(cluster), layout.clusterBytes, fat, exfat, entries, [&] {
            if (!firstFile) firstFile = FilesAtTheEnd(entries, layout, true);
            entries.clear();
        });
        if (!firstFile) firstFile = FilesAtTheEnd(entries, layout, true);
        order.push_back({cluster, firstFile.value_or(cluster)});
    }
    std::stable_sort(order.begin(), order.end(), [](const Later& a, const Later& b) { return a.firstFile < b.firstFile; });
    std::multimap<std::uint32_t, std::uint32_t> open;  // last file's cluster -> folder
    for (const auto& [key, fill] : fills_)
        if (fill.open) open.emplace(fill.lastFile, key);
    for (const Later& next : order) {
        if (visitedSet_.count(next.cluster)) continue;
        std::uint32_t key = next.cluster;
        const auto above = open.lower_bound(next.firstFile);
        if (above != open.begin()) {
            key = std::prev(above)->second;
            open.erase(std::prev(above));
        }
        ReadFolder(key, next.cluster, false, layout.clusterBytes, true, nullptr);
        if (fills_[key].open) open.emplace(fills_[key].lastFile, key);
    }
}

std::string CardFiles::PathOf(std::uint32_t key) const {
    std::vector<std::string> parts;
    for (std::size_t depth = 0; key != kRoot && depth < kMostDepth; ++depth) {
        const auto found = folders_.find(key);
        const bool named = found != folders_.end() && found->second.named;
        std::string name = named ? NameOf(found->second.nameAt, found->second.nameLength) : "Folder" + std::to_string(key);
        // A format clears the root, and with it the name of the folder at the top of a camera's
        // folders; one that holds camera folders (100CANON) can only have been DCIM.
        if (!named && found != folders_.end() && found->second.parent == kRoot && !parts.empty() && CameraFolder(parts.back()))
            name = "DCIM";
        parts.push_back(std::move(name));
        if (found == folders_.end() || found->second.parent == kUnknown) break;
        key = found->second.parent;
    }
    std::string path;
    for (auto part = parts.rbegin(); part != parts.rend(); ++part) path += (path.empty() ? "" : "/") + *part;
    return path;
}

std::vector<CardFile> CardFiles::FilesStartingAt(std::uint64_t start) {
    std::vector<CardFile> found;
    if (!region_) return found;
    const auto cluster = region_->layout.StartingAt(start);
    if (!cluster) return found;
    const auto order = [](const Record& a, const Record& b) {
        return a.firstCluster != b.firstCluster ? a.firstCluster < b.firstCluster : a.rank < b.rank;
    };
    if (!sorted_) {
        std::stable_sort(files_.begin(), files_.end(), order);
        sorted_ = true;
    }
    auto at = std::lower_bound(files_.begin(), files_.end(), *cluster,
                               [](const Record& r, std::uint32_t c) { return r.firstCluster < c; });
    const ClusterLayout& layout = region_->layout;
    for (; at != files_.end() && at->firstCluster == *cluster && found.size() < kMostAtOneCluster; ++at) {
        CardFile file;
        file.name = NameOf(at->nameAt, at->nameLength);
        file.folder = PathOf(at->folder);
        file.size = at->size;
        file.modified = at->modified;
        file.deleted = at->rank & 1;
        file.orphan = at->rank >= 2;
        const bool exfat = region_->kind == FileSystemKind::Exfat;
        if (at->contiguous) {
            // The entry itself says where all of it lies.
            if (start <= layout.End() && at->size <= layout.End() - start) {
                file.chainHeld = true;
                file.extents = {{start, at->size}};
            }
        } else if (at->rank == 0 || (exfat && at->rank == 1)) {
            // A deleted FAT file's chain was cleared; a live one, or an exFAT one, may be followed.
            if (auto extents = table_->FileExtents(*cluster, at->size)) {
                file.chainHeld = true;
                file.extents = std::move(*extents);
            }
        }
        found.push_back(std::move(file));
    }
    return found;
}

}  // namespace kelvara
