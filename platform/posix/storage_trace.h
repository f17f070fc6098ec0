#pragma once
// What stores what, told by device and inode numbers, never by names (mounts, links, moves and
// relative paths all make names lie). A folder's files are stored on its file system; that is
// stored on a block device (and a partition on its disk, a mapped device on the devices it is
// made of), in a loop device's backing file, in an overlay's upper layer, or in the files a FUSE
// program serves it from; each of those is traced again. A card's volume is held in its image
// file or its device, and in what those stand on. Writing into a folder can reach the card
// exactly when the two traces meet.

#include <sys/types.h>

#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/posix/block_device.h"
#include "platform/posix/mount_table.h"

namespace kelvara {

struct StorageId {
    enum class Kind { Device, File } kind = Kind::Device;
    dev_t device = 0;  // a device's own number, or the file system holding a file
    ino_t inode = 0;   // files only
    auto operator<=>(const StorageId&) const = default;
};

struct StorageTrace {
    // In the order they were found, each with the name a user knows it by.
    std::vector<std::pair<StorageId, std::string>> ids;
    // What could not be traced, said for a user; when not empty the trace may be missing parts.
    std::vector<std::string> unknown;
    // FUSE file systems whose servers hold nothing that names where they keep their files (a
    // passthrough given its folder in its environment): they may mirror anything that is mounted
    // or served, the card among them, so they count as unknown while the card is.
    std::vector<std::string> unknownWhileInUse;
    // For a volume: it is mounted, or a program other than this one holds it open.
    bool inUse = false;

    bool Holds(const StorageId& id) const;
};

// Where two traces meet: the name of the first of `volume`'s ids that `folder` holds.
struct StorageMeeting {
    std::string name;
    bool certain = true;  // false: the folder's trace is incomplete, and that is what `name` says
};
std::optional<StorageMeeting> Meet(const StorageTrace& folder, const StorageTrace& volume);

class StorageTracer {
public:
    // sysRoot is where sys/, proc/ and dev/ are looked up.
    explicit StorageTracer(std::string sysRoot);

    // Everything that writing into the existing folder at `path` may change.
    StorageTrace WhatStoresFolder(const std::string& path);
    // What holds the bytes of the volume in the image file or device at `path`.
    StorageTrace WhatHoldsVolume(const std::string& path);

private:
    enum class Direction { Folder, Volume };
    void Begin(Direction direction);
    void AddFileSystem(dev_t device, const std::string& name);
    void AddDevice(dev_t device, const std::string& name);
    void AddFile(const FileIdentity& file, const std::string& name);
    bool Add(const StorageId& id, const std::string& name);
    void AddOverlay(const MountEntry& mount);
    bool VolumeInUse() const;

    std::string sysRoot_;
    BlockDevices devices_;
    std::vector<MountEntry> mounts_;
    Direction direction_ = Direction::Folder;
    StorageTrace trace_;
    std::set<StorageId> seen_;
    std::set<dev_t> fileSystemsSeen_;
};

}  // namespace kelvara
